#include "TFormConfig.h"

#include "CatalogFields.h"
#include "ConfigError.h"
#include "FixedDialog.h"
#include "TConfig.h"
#include "TXMLNodeType.h"

#include <pugixml.hpp>

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int RowHeight = 18;
// The field of a row that is not in the column list yet.
constexpr int OfferedFieldRole = Qt::UserRole;

} // namespace

TFormConfig::TFormConfig(QWidget *parent) : QDialog(parent)
{
    SetUpFixedDialog(
        *this, QStringLiteral("FormConfig"), QStringLiteral("Config visible columns"), QSize(217, 280));

    Label1 = Placed(new QLabel(QStringLiteral("Config visible columns:"), this), QStringLiteral("Label1"),
        QRect(17, 7, 190, 18));

    Panel1 = Placed(new QFrame(this), QStringLiteral("Panel1"), QRect(16, 27, 186, 207));
    Panel1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    clbList = new QListWidget(Panel1);
    clbList->setObjectName(QStringLiteral("clbList"));
    clbList->setFrameShape(QFrame::NoFrame);
    clbList->setUniformItemSizes(true);
    auto *panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(2, 2, 2, 2);
    panelLayout->addWidget(clbList);

    BitBtn1 = Placed(
        new QPushButton(QStringLiteral("&OK"), this), QStringLiteral("BitBtn1"), QRect(37, 245, 75, 25));
    BitBtn2 = Placed(
        new QPushButton(QStringLiteral("&Cancel"), this), QStringLiteral("BitBtn2"), QRect(125, 245, 75, 25));
    // Enter must not press OK behind the user's back: only a click or the mnemonic saves.
    for (QPushButton *button : {BitBtn1, BitBtn2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(BitBtn1, &QPushButton::clicked, this, &TFormConfig::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TFormConfig::BitBtn2Click);
}

void TFormConfig::LoadChecks()
{
    clbList->clear();
    m_loadProblems.clear();
    TXMLNodesType nodes = GetConfig().Document().nodes();
    const int count = nodes.count();
    for (int i = 0; i < count; ++i) {
        const TXMLNodeType entry = nodes.node(i);
        auto *row = new QListWidgetItem(entry.name(), clbList);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->setSizeHint(QSize(0, RowHeight));
        try {
            row->setCheckState(entry.visible() ? Qt::Checked : Qt::Unchecked);
        } catch (const ConfigError &error) {
            row->setCheckState(Qt::PartiallyChecked);
            m_loadProblems.append(error.message());
        }
    }
    // Then the columns the list lacks that the program can show (Disk Usage),
    // unchecked: checking one adds it to the list.
    for (int field = 0; field < CatalogFieldCount; ++field) {
        const FieldDefinition &definition = CatalogFieldTable[std::size_t(field)];
        if (definition.column.position >= 0 || definition.column.width <= 0)
            continue;
        bool listed = false;
        for (int i = 0; i < count && !listed; ++i) {
            try {
                listed = FieldOfColumn(nodes.node(i).name()) == field;
            } catch (const ConfigError &) { }
        }
        if (listed)
            continue;
        auto *row = new QListWidgetItem(definition.key.toString(), clbList);
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->setSizeHint(QSize(0, RowHeight));
        row->setCheckState(Qt::Unchecked);
        row->setData(OfferedFieldRole, field);
    }
}

void TFormConfig::StoreChecks()
{
    TXMLNodesType nodes = GetConfig().Document().nodes();
    // The document is not changed while this modal dialog is open, so row i is still entry i.
    const int count = std::min(nodes.count(), clbList->count());
    // What the lists show until the choice is saved: a save that fails puts it back,
    // so that a Cancel afterwards leaves the document as the lists and exports have it.
    struct Before
    {
        pugi::xml_node element;
        bool present;
        std::string text;
    };
    std::vector<Before> before;
    for (int i = 0; i < count; ++i) {
        const Qt::CheckState state = clbList->item(i)->checkState();
        if (state == Qt::PartiallyChecked)
            continue;
        TXMLNodeType entry = nodes.node(i);
        const pugi::xml_attribute visible = entry.element().attribute("Visible");
        before.push_back({entry.element(), bool(visible), visible.value()});
        entry.setVisible(state == Qt::Checked);
    }
    // Offered columns that are checked join the end of the list, with the attributes
    // the program gives them.
    std::vector<pugi::xml_node> added;
    for (int i = count; i < clbList->count(); ++i) {
        const QListWidgetItem *row = clbList->item(i);
        const QVariant field = row->data(OfferedFieldRole);
        if (!field.isValid() || row->checkState() != Qt::Checked)
            continue;
        const FieldDefinition &definition = CatalogFieldTable[std::size_t(field.toInt())];
        const DefaultColumn &column = definition.column;
        TXMLNodeType entry(nodes.element().append_child("node"));
        added.push_back(entry.element());
        entry.setName(definition.key.toString());
        entry.setVisible(true);
        entry.setIndex(nodes.count() - 1);
        entry.setDefaultExport(column.defaultExport);
        entry.setWidth(column.width);
        entry.setReadOnly(column.readOnly);
        entry.setAlign(QString::fromLatin1(column.align));
    }
    try {
        GetConfig().Save();
    } catch (...) {
        for (const pugi::xml_node &node : added)
            nodes.element().remove_child(node);
        for (Before &b : before) {
            if (b.present)
                b.element.attribute("Visible").set_value(b.text.c_str());
            else
                b.element.remove_attribute("Visible");
        }
        throw;
    }
}

void TFormConfig::BitBtn1Click()
{
    try {
        StoreChecks();
    } catch (const ConfigError &error) {
        // The dialog stays open: the user may free space or fix the folder and press OK
        // again, or cancel.
        warn(QStringLiteral("The column settings could not be saved.\n\n%1").arg(error.message()));
        return;
    } catch (const std::exception &error) {
        warn(QStringLiteral("The column settings could not be saved.\n\n%1")
                 .arg(QString::fromLocal8Bit(error.what())));
        return;
    }
    accept();
}

void TFormConfig::BitBtn2Click()
{
    reject();
}

void TFormConfig::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormConfig::FormShow()
{
    LoadChecks();
    if (!m_loadProblems.isEmpty()) {
        // After the dialog is up, so the message stands in front of it.
        const QString text =
            QStringLiteral("Some columns could not be read from %1 and are shown half checked; "
                           "they stay as they are unless you change them.\n\n%2")
                .arg(GetConfig().FileName(), m_loadProblems.join(QLatin1Char('\n')));
        QTimer::singleShot(0, this, [this, text] { warn(text); });
    }
}

void TFormConfig::keyPressEvent(QKeyEvent *event)
{
    // Esc would cancel silently; the dialog ends only through its buttons or close box.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormConfig::warn(const QString &text)
{
    QMessageBox::warning(this, windowTitle(), text);
}
