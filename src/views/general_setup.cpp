// The setup sheet and the Setup command.
#include "views/general_setup.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace wirelark {

CGeneralSetup::CGeneralSetup(QWidget* parent, ColorChooser chooser)
    : QDialog(parent),
      m_pPages(new QTabWidget(this)),
      m_pBufferPage(new CBufferSetupPage),
      m_pColorPage(new CSetupColorPage(std::move(chooser))) {
    setWindowTitle(QStringLiteral("General Setup"));
    m_pPages->addTab(m_pBufferPage, CBufferSetupPage::Title());
    m_pPages->addTab(m_pColorPage, CSetupColorPage::Title());
    m_pPages->setCurrentIndex(0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pPages);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

SetupOutcome CGeneralSetup::RunSetup(QWidget* parent, int bufferSetting, ISetupTarget& target,
                                     ColorChooser chooser) {
    CGeneralSetup sheet(parent, std::move(chooser));
    sheet.BufferPage().SetPosition(bufferSetting);
    if (sheet.exec() != QDialog::Accepted) {
        return {false, bufferSetting};
    }
    const int chosen = sheet.BufferPage().GetPosition();
    target.ApplyListColors();
    target.SetBufferSetting(chosen);
    target.ReloadExplorerColors();
    return {true, chosen};
}

}  // namespace wirelark
