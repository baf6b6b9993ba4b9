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

// POSIX names are bytes, which a program listing them writes as they are;
// Windows names are UTF-16, which such a list holds in some encoding.
inline constexpr bool kNamesAreBytes = !kWindowsBuild;

// A backslash is an ordinary name character on POSIX; Windows takes "/"
// between names as well as its own "\".
inline constexpr char16_t kPathSeparator = kWindowsBuild ? u'\\' : u'/';
inline constexpr const char16_t* kPathSeparators = kWindowsBuild ? u"\\/" : u"/";
// Where the log goes when neither the desktop nor the temporary folder can
// be had.
inline constexpr const char16_t* kRootFolder = kWindowsBuild ? u"C:" : u"/";
// On POSIX "/" starts an absolute path, so it cannot also start an option.
inline constexpr bool kSlashStartsOption = kWindowsBuild;
inline constexpr const char16_t* kExecutableName = kWindowsBuild ? u"Sumvane.exe" : u"sumvane";
// What the context-menu entry starts: on Windows the same program built for
// the window subsystem, which the system starts without a console window.
inline constexpr const char16_t* kVerbExecutableName = kWindowsBuild ? u"SumvaneW.exe" : u"sumvane";
// The system's own MD5, the one-stream engine, by the name SUMVANE_MD5
// takes for it.
inline constexpr const char* kOneStreamMd5Name = kWindowsBuild ? "cryptoapi" : "openssl";
inline constexpr const char16_t* kHelpFileExtension = kWindowsBuild ? u".chm" : u".html";
inline constexpr const char16_t* kConsoleLineEnd = kWindowsBuild ? u"\r\n" : u"\n";
// A wait for at most a fraction of a millisecond: POSIX keeps to the time
// given; Windows ends it at its clock's next tick, 15.6 ms by default.
inline constexpr bool kShortTimedWaits = !kWindowsBuild;

}  // namespace TesselLibrary
