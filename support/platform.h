// Facts of the platform the program is built for. Differences that are one
// constant live here; everything larger has its own backend file.
#pragma once

#ifdef _WIN32
#define TESSEL_STDCALL __stdcall
#else
#define TESSEL_STDCALL
#endif

namespace TesselLibrary {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
inline constexpr bool kSlashStartsOption = true;
inline constexpr const char16_t* kExecutableName = u"Sumvane.exe";
inline constexpr const char16_t* kHelpFileExtension = u".chm";
inline constexpr const char16_t* kConsoleLineEnd = u"\r\n";
// The banner stops right after the web address.
inline constexpr const char16_t* kBannerEnd = u"";
// "--help" and "--version" are not options of a Windows program.
inline constexpr bool kHelpAndVersionOptions = false;
// A Windows user learns of problems from the log file and the exit code.
inline constexpr bool kLogLinesOnStandardError = false;
#else
// A backslash is an ordinary name character on POSIX, and "/" starts an
// absolute path, so it cannot also start an option.
inline constexpr char16_t kPathSeparator = u'/';
inline constexpr bool kSlashStartsOption = false;
inline constexpr const char16_t* kExecutableName = u"sumvane";
inline constexpr const char16_t* kHelpFileExtension = u".html";
inline constexpr const char16_t* kConsoleLineEnd = u"\n";
// A console program ends its output with a line feed, or the shell's prompt
// (or a progress display drawn below) lands on its last line.
inline constexpr const char16_t* kBannerEnd = u"\n";
// A Linux user expects "--help" and "--version" of every command.
inline constexpr bool kHelpAndVersionOptions = true;
// Every log line also goes to standard error, where a terminal user or the
// mail of a cron job sees it; the log file (UTF-16LE, on a desktop a server
// user never opens) stays as it is.
inline constexpr bool kLogLinesOnStandardError = true;
#endif

}  // namespace TesselLibrary
