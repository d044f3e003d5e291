// The document base: title, path and modified flag, listeners, and the safe replacement of the
// previous file on save.
#include "store/document.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "store/archive_reader.h"
#include "store/archive_writer.h"
#include "support/store_files.h"

namespace wirelark {
namespace {

using test::CScratchFolder;
using Bytes = std::vector<std::uint8_t>;

// Stores its payload as the whole file; a payload starting with 0xBA is a format error.
class CPayloadDoc : public CDocument {
public:
    Bytes payload;
    int deletions = 0;

    void DeleteContents() override {
        payload.clear();
        ++deletions;
    }

protected:
    void Serialize(CArchiveWriter& ar) const override { ar.WriteBytes(payload); }
    bool Serialize(CArchiveReader& ar) override {
        payload.resize(static_cast<std::size_t>(ar.GetRemaining()));
        if (!ar.ReadBytes(payload.data(), payload.size())) {
            return false;
        }
        if (payload.front() == 0xBA) {
            ar.Fail(ReadStatus::Malformed, "bad payload");
            return false;
        }
        return true;
    }
};

TEST(Document, PathNameSetsTheTitleAndAnEmptyPathMakesItUntitled) {
    CPayloadDoc doc;
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    for (const auto& [path, title] : {std::pair{"/home/u/captures/morning.cap", "morning.cap"},
                                      {"relative.cap", "relative.cap"},
                                      {"/x.cap", "x.cap"},
                                      {"", "Untitled"}}) {
        doc.SetPathName(path);
        EXPECT_EQ(doc.GetPathName(), path);
        EXPECT_EQ(doc.GetTitle(), title) << path;
    }
}

TEST(Document, ListenersHearUpdatesUntilTheyUnregister) {
    CPayloadDoc doc;
    std::vector<int> heard;
    const int first = doc.AddUpdateListener([&heard] { heard.push_back(1); });
    int second = 0;
    // A listener that unregisters itself while being called.
    second = doc.AddUpdateListener([&] {
        heard.push_back(2);
        doc.RemoveUpdateListener(second);
    });
    doc.UpdateAllViews();
    doc.UpdateAllViews();
    doc.RemoveUpdateListener(first);
    doc.UpdateAllViews();
    EXPECT_EQ(heard, (std::vector<int>{1, 2, 1}));
}

// A link to an existing file, and a link whose target is yet to be made, by a relative name.
TEST(Document, SaveThroughASymbolicLinkWritesItsTargetAndKeepsTheLinkAndThePermissions) {
    for (const bool bTargetExists : {true, false}) {
        SCOPED_TRACE(bTargetExists ? "existing target" : "dangling link");
        CScratchFolder folder;
        const std::string real = folder.File("real.cap");
        const std::string link = folder.File("link.cap");
        if (bTargetExists) {
            test::WriteWholeFile(real, {9, 9});
            ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
            std::filesystem::create_symlink(real, link);
        } else {
            std::filesystem::create_symlink("real.cap", link);
        }

        CPayloadDoc doc;
        doc.payload = {1, 2, 3};
        ASSERT_TRUE(doc.OnSaveDocument(link).Succeeded());
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(test::ReadWholeFile(real), (Bytes{1, 2, 3}));
        EXPECT_EQ(test::FolderEntries(folder.Path()),
                  (std::vector<std::string>{"link.cap", "real.cap"}));
        if (bTargetExists) {
            struct stat info {};
            ASSERT_EQ(::stat(real.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0640u);
        }
        EXPECT_EQ(doc.GetPathName(), link);
    }
}

// Refuses files without a name as a file system that has none does.
class CNamedFilesOnlyDoc : public CPayloadDoc {
public:
    int refusal = EOPNOTSUPP;

protected:
    int OpenUnnamedFile(const std::string&) const override {
        errno = refusal;
        return -1;
    }
};

TEST(Document, SaveFallsBackToANamedFileOnlyWhereTheFileSystemHasNoUnnamedOnes) {
    for (const int refusal : {EOPNOTSUPP, EISDIR, EINVAL, EACCES}) {
        SCOPED_TRACE(refusal);
        CScratchFolder folder;
        const std::string path = folder.File("keep.cap");
        test::WriteWholeFile(path, {9, 9});
        CNamedFilesOnlyDoc doc;
        doc.refusal = refusal;
        doc.payload = {1, 2, 3};
        const DocumentOutcome outcome = doc.OnSaveDocument(path);
        if (refusal == EACCES) {
            EXPECT_EQ(outcome.error, DocumentError::CannotSave);
            EXPECT_EQ(outcome.errorNumber, EACCES);
            EXPECT_EQ(test::ReadWholeFile(path), (Bytes{9, 9}));
        } else {
            ASSERT_TRUE(outcome.Succeeded()) << outcome.reason;
            EXPECT_EQ(test::ReadWholeFile(path), (Bytes{1, 2, 3}));
        }
        EXPECT_EQ(test::FolderEntries(folder.Path()), std::vector<std::string>{"keep.cap"});
    }
}

// A read-only folder, and a file size limit standing in for a full disk.
TEST(Document, AFailedSaveLeavesThePreviousFileByteIdenticalAndReportsTheReason) {
    for (const bool bReadOnlyFolder : {true, false}) {
        SCOPED_TRACE(bReadOnlyFolder ? "read-only folder" : "full disk");
        CScratchFolder folder;
        const std::string path = folder.File("keep.cap");
        const Bytes previous(4096, 0x5C);
        test::WriteWholeFile(path, previous);
        CPayloadDoc doc;
        doc.payload.assign(1 << 20, 0x11);
        doc.SetPathName(path);
        doc.SetModifiedFlag();

        // In a child process, so that dropping privileges or lowering limits ends with it.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (bReadOnlyFolder) {
                ::chmod(folder.Path().c_str(), 0555);
                // The superuser writes anywhere; as nobody the folder is really read-only.
                if (::geteuid() == 0 && ::setuid(65534) != 0) {
                    ::_exit(10);
                }
            } else {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{8192, 8192};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            const DocumentOutcome outcome = doc.OnSaveDocument(path);
            const bool bReported = outcome.error == DocumentError::CannotSave &&
                                   outcome.errorNumber != 0 && !outcome.reason.empty();
            ::_exit(bReported && doc.IsModified() && doc.GetPathName() == path ? 0 : 11);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(test::ReadWholeFile(path), previous);
        EXPECT_EQ(test::FolderEntries(folder.Path()), std::vector<std::string>{"keep.cap"});
    }
}

TEST(Document, OpenAndNewDocumentReplaceTheContentsButARefusedFileTouchesNothing) {
    CScratchFolder folder;
    const std::string good = folder.File("good.cap");
    const std::string bad = folder.File("bad.cap");
    test::WriteWholeFile(good, {1, 2, 3});
    test::WriteWholeFile(bad, {0xBA, 2, 3});
    const std::string fifo = folder.File("pipe.cap");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CPayloadDoc doc;
    doc.payload = {7};
    doc.SetPathName("/keep.cap");
    doc.SetModifiedFlag();
    // What is not a regular file is refused before anything is touched.
    EXPECT_EQ(doc.OnOpenDocument(fifo).error, DocumentError::CannotOpen);
    EXPECT_EQ(doc.deletions, 0);
    EXPECT_EQ(doc.payload, Bytes{7});
    EXPECT_EQ(doc.GetPathName(), "/keep.cap");
    ASSERT_TRUE(doc.OnOpenDocument(good).Succeeded());
    EXPECT_EQ(doc.payload, (Bytes{1, 2, 3}));
    EXPECT_EQ(doc.GetTitle(), "good.cap");
    EXPECT_FALSE(doc.IsModified());

    const DocumentOutcome outcome = doc.OnOpenDocument(bad);
    EXPECT_EQ(outcome.error, DocumentError::UnexpectedFormat);
    EXPECT_EQ(outcome.reason, "bad payload");
    EXPECT_TRUE(doc.payload.empty());
    EXPECT_EQ(doc.GetTitle(), "Untitled");

    doc.payload = {1, 2, 3};
    doc.SetPathName(good);
    doc.SetModifiedFlag();
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_TRUE(doc.payload.empty());
    EXPECT_EQ(doc.GetPathName(), "");
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_FALSE(doc.IsModified());
}

}  // namespace
}  // namespace wirelark
