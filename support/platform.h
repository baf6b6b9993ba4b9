// Facts of the platform the program is built for. Differences that are one
// constant live here; everything larger has its own backend file.
#pragma once

#ifdef _WIN32
#define TESSEL_STDCALL __stdcall
#else
#define TESSEL_STDCALL
#endif

namespace TesselLibrary {

// For the constants below only: code elsewhere asks for the fact it needs.
#ifdef _WIN32
inline constexpr bool kWindowsBuild = true;
#else
inline constexpr bool kWindowsBuild = false;
#endif

// A backslash is an ordinary name character on POSIX; Windows takes "/"
// between names as well as its own "\".
inline constexpr char16_t kPathSeparator = kWindowsBuild ? u'\\' : u'/';
inline constexpr const char16_t* kPathSeparators = kWindowsBuild ? u"\\/" : u"/";
// Where the log goes when neither the desktop nor the temporary folder can
// be had. On POSIX the empty text: the separator that follows makes the
// path start at "/".
inline constexpr const char16_t* kRootFolder = kWindowsBuild ? u"C:" : u"";
// On POSIX "/" starts an absolute path, so it cannot also start an option.
inline constexpr bool kSlashStartsOption = kWindowsBuild;
inline constexpr const char16_t* kExecutableName = kWindowsBuild ? u"Sumvane.exe" : u"sumvane";
inline constexpr const char16_t* kHelpFileExtension = kWindowsBuild ? u".chm" : u".html";
inline constexpr const char16_t* kConsoleLineEnd = kWindowsBuild ? u"\r\n" : u"\n";
// On Windows the banner stops right after the web address. A POSIX console
// program ends its output with a line feed, or the shell's prompt (or a
// progress display drawn below) lands on its last line.
inline constexpr const char16_t* kBannerEnd = kWindowsBuild ? u"" : u"\n";
// A Linux user expects "--help" and "--version" of every command; they are
// not options of a Windows program.
inline constexpr bool kHelpAndVersionOptions = !kWindowsBuild;
// On Linux every log line also goes to standard error, where a terminal
// user or the mail of a cron job sees it; the log file (UTF-16LE, on a
// desktop a server user never opens) stays as it is. A Windows user learns
// of problems from the log file and the exit code.
inline constexpr bool kLogLinesOnStandardError = !kWindowsBuild;
// On Linux an option that is ignored in whole or in part, a run that
// selects no work and a build recording relative paths are said on
// standard error: a scheduled job would otherwise pass every time while
// checking nothing. A Windows command line stays silent.
inline constexpr bool kCommandLineNotes = !kWindowsBuild;

}  // namespace TesselLibrary
