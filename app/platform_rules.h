// How the tool behaves where the users of each platform expect different
// things of a command-line program. The facts of the platform itself (its
// separators, its line end, the program's file name) are in platform.h.
#pragma once

#include "platform.h"

// On Windows the banner stops right after the web address. A POSIX console
// program ends its output with a line feed, or the shell's prompt (or a
// progress display drawn below) lands on its last line.
inline constexpr const char16_t* kBannerEnd = TesselLibrary::kWindowsBuild ? u"" : u"\n";
// A Linux user expects "--help" and "--version" of every command; they are
// not options of a Windows program.
inline constexpr bool kHelpAndVersionOptions = !TesselLibrary::kWindowsBuild;
// On Linux every log line also goes to standard error, where a terminal
// user or the mail of a cron job sees it; the log file (UTF-16LE, on a
// desktop a server user never opens) stays as it is. A Windows user learns
// of problems from the log file and the exit code.
inline constexpr bool kLogLinesOnStandardError = !TesselLibrary::kWindowsBuild;
// On Linux an option that is ignored in whole or in part, a run that
// selects no work and a build recording relative paths are said on
// standard error: a scheduled job would otherwise pass every time while
// checking nothing. A Windows command line stays silent.
inline constexpr bool kCommandLineNotes = !TesselLibrary::kWindowsBuild;
// Between a file's name and its digest in the message that shows the digest:
// a Windows message box gives each a line of its own; on Linux the message is
// one line (standard error or a desktop notification).
inline constexpr const char16_t* kBeforeDigestInMessage = TesselLibrary::kWindowsBuild ? u"\n" : u": ";
