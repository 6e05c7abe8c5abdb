// Replacing a file in place, called directly: with an unnamed temporary and
// with the named one used where the system offers none, against names
// planted in the directory and signals that end the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "file_replace.h"
#include "support.h"

using namespace testsupport;

namespace {

mode_t modeOf(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The identity of the file a path names (links followed), as the reader
// would take it from the open file; stat does not block on a FIFO.
FileId idOf(const std::string& path)
{
    FileId id;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        id.device = static_cast<uint64_t>(info.st_dev);
        id.number = static_cast<uint64_t>(info.st_ino);
        id.known = true;
    }
    return id;
}

int replaceWith(const std::string& path, const std::string& bytes, bool unnamedAllowed)
{
    FileReplace replace;
    if (fileReplaceBegin(path.c_str(), idOf(path), replace, unnamedAllowed) != 0) {
        return -1;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), replace.file) != bytes.size()) {
        fileReplaceAbandon(replace);
        return -1;
    }
    return fileReplaceCommit(replace);
}

class Replace : public ::testing::TestWithParam<bool> {};

// Links planted at the names the temporary would take, pointing at a file
// elsewhere: the temporary passes them by, and the file they point at
// keeps its bytes and its mode.
TEST_P(Replace, PlantedLinksAtTemporaryNamesChangeNothingOutside)
{
    ScratchDir dir;
    ScratchDir elsewhere;
    fileWrite(elsewhere.file("secret"), "not yours");
    chmod(elsewhere.file("secret").c_str(), 0600);
    fileWrite(dir.file("in.wav"), "old");
    chmod(dir.file("in.wav").c_str(), 0644);
    std::vector<std::string> planted;
    for (unsigned attempt = 0; attempt < 5; ++attempt) {
        planted.push_back(fileReplaceTempName(attempt));
        std::filesystem::create_symlink(elsewhere.file("secret"), dir.file(planted.back()));
    }

    ASSERT_EQ(replaceWith(dir.file("in.wav"), "new", GetParam()), 0);

    EXPECT_EQ(fileRead(dir.file("in.wav")), "new");
    EXPECT_EQ(modeOf(dir.file("in.wav")), 0644u);
    EXPECT_EQ(fileRead(elsewhere.file("secret")), "not yours");
    EXPECT_EQ(modeOf(elsewhere.file("secret")), 0600u);
    for (const auto& name : planted) {
        EXPECT_TRUE(std::filesystem::is_symlink(dir.file(name))) << name;
    }
    planted.push_back("in.wav");
    std::sort(planted.begin(), planted.end());
    EXPECT_EQ(folderEntries(dir.path), planted);
}

TEST_P(Replace, TargetsThatAreNotWritableRegularFilesAreRefusedWithNothingCreated)
{
    ScratchDir dir;
    std::filesystem::create_directory(dir.file("folder"));
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    std::vector<std::string> targets = {"missing.wav", "folder", "fifo"};
    if (geteuid() != 0) {
        fileWrite(dir.file("read-only.wav"), "old");
        chmod(dir.file("read-only.wav").c_str(), 0444);
        targets.push_back("read-only.wav");
    }
    const std::vector<std::string> before = folderEntries(dir.path);
    for (const auto& target : targets) {
        FileReplace replace;
        EXPECT_EQ(fileReplaceBegin(dir.file(target).c_str(), idOf(dir.file(target)), replace, GetParam()), -1)
            << target;
        EXPECT_EQ(replace.file, nullptr) << target;
    }
    EXPECT_EQ(folderEntries(dir.path), before);
}

// The name was read as one file and swapped for a link to another before
// the replacement: the other file is not touched.
TEST_P(Replace, NameSwappedSinceTheReadForALinkElsewhereIsRefused)
{
    ScratchDir dir;
    ScratchDir elsewhere;
    fileWrite(elsewhere.file("secret"), "not yours");
    fileWrite(dir.file("in.wav"), "old");
    const FileId read = idOf(dir.file("in.wav"));
    std::filesystem::rename(dir.file("in.wav"), dir.file("moved.wav"));
    std::filesystem::create_symlink(elsewhere.file("secret"), dir.file("in.wav"));

    FileReplace replace;
    EXPECT_EQ(fileReplaceBegin(dir.file("in.wav").c_str(), read, replace, GetParam()), -1);
    EXPECT_EQ(fileRead(elsewhere.file("secret")), "not yours");
    EXPECT_EQ(folderEntries(elsewhere.path), std::vector<std::string>{"secret"});
    EXPECT_EQ(folderEntries(dir.path), (std::vector<std::string>{"in.wav", "moved.wav"}));
}

TEST_P(Replace, AbandonedReplacementLeavesTheTargetAndNoOtherFile)
{
    ScratchDir dir;
    fileWrite(dir.file("in.wav"), "old");
    FileReplace replace;
    ASSERT_EQ(fileReplaceBegin(dir.file("in.wav").c_str(), idOf(dir.file("in.wav")), replace, GetParam()), 0);
    std::fputs("half", replace.file);
    fileReplaceAbandon(replace);
    EXPECT_EQ(fileRead(dir.file("in.wav")), "old");
    EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{"in.wav"});
}

INSTANTIATE_TEST_SUITE_P(Temporaries, Replace, ::testing::Values(true, false),
                         [](const auto& test) { return std::string(test.param ? "unnamed" : "named"); });

// The named temporary is the one a kill could leave behind: each signal
// that ends a run removes it before the run ends, mid-write.
TEST(NamedTemporary, SignalsThatEndTheRunRemoveIt)
{
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        ScratchDir dir;
        fileWrite(dir.file("in.wav"), "old");
        const pid_t child = fork();
        if (child == 0) {
            std::signal(signalNumber, SIG_DFL);
            FileReplace replace;
            if (fileReplaceBegin(dir.file("in.wav").c_str(), idOf(dir.file("in.wav")), replace, false) != 0) {
                _exit(1);
            }
            std::fputs("half-written", replace.file);
            std::fflush(replace.file);
            std::raise(signalNumber);
            _exit(2);  // not reached: the signal ends the process
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << "signal " << signalNumber;
        EXPECT_EQ(fileRead(dir.file("in.wav")), "old") << "signal " << signalNumber;
        EXPECT_EQ(folderEntries(dir.path), std::vector<std::string>{"in.wav"}) << "signal " << signalNumber;
    }
}

}  // namespace
