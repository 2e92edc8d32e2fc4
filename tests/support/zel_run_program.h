// zel_run_program.h - what end-to-end tests need beyond the platform
// interface: starting a program of this build tree and waiting for it, and
// making links on the machine the program sees. One implementation per
// platform, chosen by the build.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zeltest {

// The Windows path of a program built in this tree, given by its folder and
// name below the build folder ("app\\fixwell"); found from the test's own
// path, which lies in <build>\tests\<folder>\. Empty when that path is
// unknown.
std::u16string builtProgram(std::u16string_view folderAndName);

// Runs the program at a Windows path with the command line arguments (words
// separated by single blanks) in the folder, and waits for it. Its
// standard input reads input; without input it has none it can read, so no
// message box can be answered. Returns the exit code, or -1 when it could
// not be started or waited for.
int runProgram(const std::u16string &program, const std::u16string &arguments,
               const std::u16string &folder, const std::optional<std::string> &input);
// The same, with the program's standard output and standard error both
// written to the file at the Windows path output, made anew.
int runProgram(const std::u16string &program, const std::u16string &arguments,
               const std::u16string &folder, const std::optional<std::string> &input,
               const std::u16string &output);

// Makes link (a Windows path whose folder exists) a symbolic link to the
// folder target, as the host file system keeps one, and removes it again
// (the folder it points to stays).
bool makeFolderLink(const std::u16string &link, const std::u16string &target);
bool removeFolderLink(const std::u16string &link);
// The same for a symbolic link to the file target (which must exist while
// the link is made or removed: Wine's side waits until it is seen).
bool makeFileLink(const std::u16string &link, const std::u16string &target);
// Removes a file or a folder tree, read-only files too; a link goes as a
// name, never followed. Missing is fine.
void removeTree(const std::u16string &path);
bool removeFileLink(const std::u16string &link);

// Gives the file existing a further name, link (a hard link).
bool makeHardLink(const std::u16string &link, const std::u16string &existing);

} // namespace zeltest
