// Replacing a file's whole content in one step: the new text goes into a
// temporary file beside it, which is then renamed over it, so a reader finds
// the old text or the new one, never half of either.
//
// This is the one writer of whole files for every layer: the INI engine
// (koravel.ini, omnirig.ini, set-up files) and the simulator's EEPROM image
// use it. It sits here, with the INI engine, because that is the lowest layer
// that needs it; the station's other file helpers are in station/files.h.
// POSIX, no Qt.
#pragma once

#include <string>

namespace ini {

enum class FileSync {
    // The new text reaches the disk before the rename, and the rename before
    // the call returns: after a crash the file holds the old text or the
    // new. For settings and set-up files.
    ToDisk,
    // The rename is atomic for readers, the disk is not waited for. For
    // files rewritten often that a crash may lose, such as the simulator's
    // EEPROM image.
    None,
};

// Who may read a file that is written.
enum class FileAccess {
    // A new file gets 0644 less the umask; an existing one keeps its mode.
    Usual,
    // The file is 0600 whatever it was before: secrets such as the station
    // server's access token.
    OwnerOnly,
};

// Replaces the file at path with text. A symbolic link is followed (the link
// stays, its target gets the text); an existing file keeps its mode (and its
// owner where the process may set it); a new one gets 0644 less the umask;
// with FileAccess::OwnerOnly either is 0600.
// The temporary file is ".<name>.saving-" and six letters beside the target;
// one that an earlier writer left when it was killed is removed first. False
// with a readable reason ("Permission denied", ...) on failure: the old file
// is then left as it was and no temporary file remains.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error,
                         FileSync sync = FileSync::ToDisk, FileAccess access = FileAccess::Usual);

// Whether WriteFileAtomically may replace the file at path, looked at
// without writing anything: false, with the reason, when the file is not a
// regular file, is read-only (no write permission for anyone, as chmod a-w
// leaves it, whoever runs the program; or none for this process), or lies
// on a read-only file system. A missing file may be replaced. A save of a
// file it refuses fails with the same reason and leaves the file as it is:
// the rename would otherwise replace a file its owner made read-only.
bool MayReplaceFile(const std::string& path, std::string& reason);
// The reason MayReplaceFile and WriteFileAtomically give for a file made
// read-only, for a program that words it itself.
inline constexpr const char* kReadOnlyReason = "the file is read-only";

} // namespace ini
