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
#include <tuple>
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
        if (ar.ReadBytes(payload.data(), payload.size()) && payload.front() == 0xBA) {
            ar.Fail(ReadStatus::Malformed, "bad payload");
        }
        return ar.IsOk();
    }
};

TEST(Document, ListenersHearUpdatesUntilTheyUnregister) {
    CPayloadDoc doc;
    std::vector<int> heard;
    const int first = doc.AddUpdateListener([&heard] { heard.push_back(1); });
    // A listener that unregisters itself while being called.
    const int second = doc.AddUpdateListener([&] {
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
        EXPECT_EQ(std::tuple(std::filesystem::is_symlink(link), test::ReadWholeFile(real),
                             test::FolderEntries(folder.Path()), doc.GetPathName()),
                  std::tuple(true, Bytes{1, 2, 3}, std::vector<std::string>{"link.cap", "real.cap"},
                             link));
        if (bTargetExists) {
            EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms{0640});
        }
    }
}

// Refuses files without a name as a file system that has none does, unless `refusal` is 0.
class CUnnamedFilesDoc : public CPayloadDoc {
public:
    int refusal = 0;

protected:
    int OpenUnnamedFile(const std::string& folder) const override {
        errno = refusal;
        return refusal == 0 ? CPayloadDoc::OpenUnnamedFile(folder) : -1;
    }
};

// A save falls back to a named file only where the file system has no unnamed ones. A failed
// save (another refusal, a read-only folder, a file size limit standing in for a full disk)
// leaves the previous file byte-identical and the document modified, and reports the reason.
TEST(Document, SaveReplacesThePreviousFileWholeOrOnFailureLeavesItByteIdentical) {
    enum class Limit { None, ReadOnlyFolder, FullDisk };
    const struct {
        int refusal;  // of an unnamed file; 0 makes one
        Limit limit;
        int errorNumber;  // 0: saved
    } cases[] = {{EOPNOTSUPP, Limit::None, 0},       {EISDIR, Limit::None, 0},
                 {EINVAL, Limit::None, 0},           {EACCES, Limit::None, EACCES},
                 {0, Limit::ReadOnlyFolder, EACCES}, {0, Limit::FullDisk, EFBIG}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.refusal << " refused, limit " << int(c.limit));
        CScratchFolder folder;
        const std::string path = folder.File("keep.cap");
        const Bytes previous(4096, 0x5C);
        test::WriteWholeFile(path, previous);
        CUnnamedFilesDoc doc;
        doc.refusal = c.refusal;
        doc.payload.assign(1 << 20, 0x11);
        doc.SetPathName(path);
        doc.SetModifiedFlag();

        // In a child process, so that dropping privileges or lowering limits ends with it.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (c.limit == Limit::ReadOnlyFolder) {
                ::chmod(folder.Path().c_str(), 0555);
                // The superuser writes anywhere; as nobody the folder is really read-only.
                if (::geteuid() == 0 && ::setuid(65534) != 0) {
                    ::_exit(10);
                }
            } else if (c.limit == Limit::FullDisk) {
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{8192, 8192};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            const DocumentOutcome outcome = doc.OnSaveDocument(path);
            const bool bFailed = c.errorNumber != 0;
            const bool bReported =
                outcome.error == (bFailed ? DocumentError::CannotSave : DocumentError::None) &&
                outcome.errorNumber == c.errorNumber && outcome.reason.empty() != bFailed;
            ::_exit(bReported && doc.IsModified() == bFailed && doc.GetPathName() == path ? 0 : 11);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(test::ReadWholeFile(path), c.errorNumber != 0 ? previous : doc.payload);
        EXPECT_EQ(test::FolderEntries(folder.Path()), std::vector<std::string>{"keep.cap"});
    }
}

// The title is the file name of the path, with or without folders, and "Untitled" without one.
TEST(Document, OpenAndNewDocumentReplaceTheContentsAndTitleButARefusedFileTouchesNothing) {
    CScratchFolder folder;
    const std::string good = folder.File("good.cap");
    const std::string bad = folder.File("bad.cap");
    test::WriteWholeFile(good, {1, 2, 3});
    test::WriteWholeFile(bad, {0xBA, 2, 3});
    const std::string fifo = folder.File("pipe.cap");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CPayloadDoc doc;
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    doc.SetPathName("relative.cap");
    EXPECT_EQ(doc.GetTitle(), "relative.cap");
    doc.payload = {7};
    doc.SetPathName("/keep.cap");
    doc.SetModifiedFlag();
    // What is not a regular file is refused before anything is touched.
    EXPECT_EQ(doc.OnOpenDocument(fifo).error, DocumentError::CannotOpen);
    EXPECT_EQ(std::tuple(doc.deletions, doc.payload, doc.GetPathName(), doc.GetTitle()),
              std::tuple(0, Bytes{7}, "/keep.cap", "keep.cap"));
    ASSERT_TRUE(doc.OnOpenDocument(good).Succeeded());
    EXPECT_EQ(std::tuple(doc.payload, doc.GetTitle(), doc.IsModified()),
              std::tuple(Bytes{1, 2, 3}, "good.cap", false));

    const DocumentOutcome outcome = doc.OnOpenDocument(bad);
    EXPECT_EQ(std::tuple(outcome.error, outcome.reason, doc.payload, doc.GetTitle()),
              std::tuple(DocumentError::UnexpectedFormat, "bad payload", Bytes{}, "Untitled"));

    doc.payload = {1, 2, 3};
    doc.SetPathName(good);
    doc.SetModifiedFlag();
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(std::tuple(doc.payload, doc.GetPathName(), doc.GetTitle(), doc.IsModified()),
              std::tuple(Bytes{}, "", "Untitled", false));
}

}  // namespace
}  // namespace wirelark
