// The document layer the shell builds on: title, path and modified flag, new/open/save through
// the capture-file archive, emptying, and telling the views to update.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wirelark {

class CArchiveReader;
class CArchiveWriter;

enum class DocumentError {
    None,
    CannotOpen,        // the file could not be opened or read
    UnexpectedFormat,  // the file is not a capture file, or is damaged
    CannotSave,        // the file could not be saved
    Cancelled,         // the user cancelled; nothing was changed
    // A capture of a link type other than Ethernet; the reason is the message for the user.
    UnsupportedLinkType,
};

// The outcome of an open or a save, which the shell turns into its standard messages.
struct DocumentOutcome {
    DocumentError error = DocumentError::None;
    int errorNumber = 0;  // errno behind CannotOpen or CannotSave, 0 when there is none
    // The system's reason text (strerror) for CannotOpen and CannotSave when there is one; for
    // UnexpectedFormat what was wrong, for logs and tests.
    std::string reason;
    // After a successful open, what part of the file could not be read, for the user; empty when
    // all of it was read.
    std::string warning;

    bool Succeeded() const { return error == DocumentError::None; }
};

// A failure the system reported with `errorNumber` (an errno value), with its reason text.
DocumentOutcome SystemFailure(DocumentError error, int errorNumber);
// An open or a save the user cancelled.
DocumentOutcome CancelledOutcome();
// The failure of an open whose reader failed: CannotOpen with the system's reason when the file
// could not be read, UnexpectedFormat otherwise.
DocumentOutcome ReadFailure(const CArchiveReader& ar);
// Hands a save's buffered bytes to its file: success, or CannotSave with the system's reason.
DocumentOutcome FinishSave(CArchiveWriter& ar);

class CDocument {
public:
    static constexpr std::string_view kUntitled = "Untitled";
    using UpdateListener = std::function<void()>;

    CDocument() = default;
    virtual ~CDocument() = default;
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;

    const std::string& GetTitle() const { return m_title; }
    void SetTitle(std::string title) { m_title = std::move(title); }
    const std::string& GetPathName() const { return m_pathName; }
    // Also sets the title to the file's name; an empty path makes the document untitled.
    void SetPathName(const std::string& path);
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool bModified = true) { m_bModified = bModified; }

    // Views register to hear that they must bring themselves up to date; the id unregisters.
    int AddUpdateListener(UpdateListener listener);
    void RemoveUpdateListener(int id);
    void UpdateAllViews();

    // Empties the document and makes it untitled and unmodified.
    virtual bool OnNewDocument();
    // A file that cannot be opened leaves the document as it was. Otherwise the document is
    // emptied and filled from the file; if that fails part-way it is left empty, untitled and
    // unmodified. A file of zero bytes is an empty document. The views are told to update
    // whenever the contents were replaced.
    virtual DocumentOutcome OnOpenDocument(const std::string& path);
    // Writes a new file and puts it in place of `path` only once all of it is on disk, so a
    // failed save leaves the previous file as it was (see SaveAtomically).
    virtual DocumentOutcome OnSaveDocument(const std::string& path);
    virtual void DeleteContents() {}

    // The same reading and writing without a file: LoadArchive empties the document first and
    // again on failure; it does not touch the path, title or modified flag.
    DocumentOutcome LoadArchive(CArchiveReader& ar);
    void StoreArchive(CArchiveWriter& ar) const { Serialize(ar); }

protected:
    // Opens a regular file for reading: its descriptor (the caller closes it) and size, or -1
    // with the failure in `failure`.
    static int OpenRegularFile(const std::string& path, std::uint64_t& size,
                               DocumentOutcome& failure);
    // Writes a new file in the folder of `path` through `write`, which gets its descriptor, and
    // puts it in place of `path` only when `write` succeeded and all of it is on disk; otherwise
    // the previous file stays as it was and no new file is left. The new file has no name while
    // it is written where the file system allows that, so even a killed process leaves nothing
    // behind; elsewhere it is a hidden file beside the target. A symbolic link at `path` is
    // kept: its target is replaced, or created when it does not exist. The permissions of a
    // previous file are kept. On success the document takes the path and becomes unmodified.
    DocumentOutcome SaveAtomically(const std::string& path,
                                   const std::function<DocumentOutcome(int fd)>& write);
    // Opens a new file without a name in `folder` for writing (O_TMPFILE); -1 with errno when
    // it cannot, EOPNOTSUPP, EISDIR or EINVAL meaning the file system has no such files.
    virtual int OpenUnnamedFile(const std::string& folder) const;

    virtual void Serialize(CArchiveWriter& ar) const = 0;
    // Reads the whole contents; false when the reader failed (its status says why).
    virtual bool Serialize(CArchiveReader& ar) = 0;

private:
    struct Listener {
        int id;
        UpdateListener callback;
    };

    std::string m_title{kUntitled};
    std::string m_pathName;
    bool m_bModified = false;
    std::vector<Listener> m_listeners;
    int m_nextListenerId = 1;
};

}  // namespace wirelark
