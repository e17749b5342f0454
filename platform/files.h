#pragma once
// Files and folders: the program's folder, the temporary folder, temporary files, file copy.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace brelix::platform {

//! The folder relative file names are resolved against: the running executable's folder,
//! unless a host set another (the command line sets the form file's folder). Ends without a
//! separator.
std::filesystem::path ProgramFolder();
//! Makes folder the program's folder; an empty path restores the executable's folder.
void SetProgramFolder(const std::filesystem::path& folder);
//! The name resolved against the program's folder when it is relative; unchanged when absolute.
std::filesystem::path ResolveProgramPath(const std::filesystem::path& name);

//! The system's temporary folder (TMPDIR, else /tmp), with a trailing separator.
std::string TempFolder();
//! Creates a new empty file named "BRE" + 1 to 4 hex digits + ".tmp" in folder and returns its
//! full name (folder, separator, name); the name was not taken before (created exclusively).
//! An empty folder means TempFolder(). Throws EOSError naming the folder and the system's
//! reason when the folder is not writable, or when all names are taken.
std::string CreateTempFile(const std::string& folder);

//! Copies source to dest, replacing dest (nothing to do when both are the same file); throws
//! EFileError naming the file that failed.
void CopyFile(const std::filesystem::path& source, const std::filesystem::path& dest);
//! The whole file; throws EFileError naming the file.
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& file);
//! Creates or empties the file and writes the bytes; throws EFileError naming the file.
void WriteFileBytes(const std::filesystem::path& file, const std::uint8_t* data, std::size_t size);
//! Writes the bytes to a temporary file beside file and renames it over file, so a failure never
//! leaves a half-written file (the temporary file is removed again). An existing file keeps
//! its permissions. Throws EFileError naming the file and the system's reason.
void WriteFileAtomically(const std::filesystem::path& file, const std::string& content);

}  // namespace brelix::platform
