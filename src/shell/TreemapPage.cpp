#include "TreemapPage.h"

#include "CommandIcons.h"
#include "ExportFile.h"
#include "TFolvaneCtrl.h"
#include "TreemapView.h"

#include <QToolBar>
#include <QVBoxLayout>

TreemapPage::TreemapPage(QWidget *parent) : QWidget(parent), m_view(new TreemapView)
{
    auto *toolBar = new QToolBar;
    toolBar->setIconSize(QSize(32, 32));
    toolBar->setFixedHeight(40);
    connect(toolBar->addAction(CommandIcon(Command::SaveChart), QStringLiteral("Save as PNG")),
        &QAction::triggered, this, [this] { SavePicture(this, m_view->picture()); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(m_view, 1);
}

void TreemapPage::bind(TFolvaneCtrl *ctrl)
{
    connect(ctrl, &TFolvaneCtrl::currentNodeChanged, m_view, [this, ctrl](NodeIndex node) {
        m_view->showTree(ctrl->Scan(), node, TypeRanks(ctrl->statistics().types), ctrl->TypeColours());
    });
    connect(ctrl, &TFolvaneCtrl::scanAboutToChange, m_view, &TreemapView::forget);
    connect(m_view, &TreemapView::entryClicked, ctrl, &TFolvaneCtrl::SelectEntry);
    connect(m_view, &TreemapView::folderOpened, ctrl, &TFolvaneCtrl::ShowEntry);
    connect(m_view, &TreemapView::upRequested, ctrl, &TFolvaneCtrl::GoUp);
}
