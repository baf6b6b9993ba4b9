// The names of the program's strings, made from the string table itself
// (resources/strings.inc), so that a name and its number cannot drift apart.
#pragma once

#include <cstdint>

#define SUMVANE_STRING(name, id, text) inline constexpr std::uint32_t name = id;
#include "strings.inc"
#undef SUMVANE_STRING
