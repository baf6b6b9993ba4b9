// The order in which the files of one window are read from a rotating disk:
// by the place of their first bytes on it, so that the head sweeps across
// them once instead of travelling back and forth in name order.
#pragma once

#include <cstddef>
#include <vector>

#include "file_reader.h"

// The positions of `places` in reading order. Files with nothing on the
// device come first (reading them moves no head). The rest go by their
// places when the system told every one of them; when it could not tell for
// one, all go by node number, since places and node numbers do not compare.
// Files at the same place keep the order they were given in.
std::vector<std::size_t> DiskOrder(const std::vector<TesselLibrary::DiskPlace>& places);
