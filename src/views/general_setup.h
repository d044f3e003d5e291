// The "General Setup" sheet: the "Buffer Size" and "Colors" pages with OK and Cancel, and the
// Setup command that runs it and hands the results to the views on OK.
#pragma once

#include <QDialog>

#include "views/buffer_setup_page.h"
#include "views/setup_color_page.h"

class QTabWidget;

namespace wirelark {

// What closing the sheet with OK changes. The packet list view implements it, passing the
// explorer colours on to the main frame.
class ISetupTarget {
public:
    virtual ~ISetupTarget() = default;
    // Rereads "ListViewColor" and "ListViewTextColor" and repaints the list.
    virtual void ApplyListColors() = 0;
    // 0 to 99; the counters stay as they are.
    virtual void SetBufferSetting(int setting) = 0;
    // Rereads "WorkSpaceColor" and "WorkSpaceTextColor" into the explorer tree.
    virtual void ReloadExplorerColors() = 0;
};

struct SetupOutcome {
    bool accepted = false;
    int bufferSetting = 0;  // the setting in force after the sheet closed
};

class CGeneralSetup : public QDialog {
    Q_OBJECT

public:
    // Without a chooser the Colors page uses the desktop's colour dialog.
    explicit CGeneralSetup(QWidget* parent = nullptr, ColorChooser chooser = {});

    CBufferSetupPage& BufferPage() const { return *m_pBufferPage; }
    CSetupColorPage& ColorPage() const { return *m_pColorPage; }
    QTabWidget& Pages() const { return *m_pPages; }

    // The Setup command: the sheet starts from bufferSetting and runs modally (captured frames
    // keep arriving meanwhile). On OK the target applies the list colours, takes the new buffer
    // setting and reloads the explorer colours, in that order; otherwise nothing is applied,
    // though colours chosen on the Colors page stay in the profile.
    static SetupOutcome RunSetup(QWidget* parent, int bufferSetting, ISetupTarget& target,
                                 ColorChooser chooser = {});

private:
    QTabWidget* m_pPages;
    CBufferSetupPage* m_pBufferPage;
    CSetupColorPage* m_pColorPage;
};

}  // namespace wirelark
