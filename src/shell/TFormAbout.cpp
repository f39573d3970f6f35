#include "TFormAbout.h"

#include "FixedDialog.h"
#include "HelpPage.h"

#include <QLabel>

TFormAbout::TFormAbout(QWidget *parent) : QDialog(parent)
{
    SetUpFixedDialog(*this, QStringLiteral("FormAbout"), QStringLiteral("About Folvane"), QSize(292, 152));

    Label1 = Placed(new QLabel(this), QStringLiteral("Label1"), QRect(20, 16, 252, 22));
    Label2 = Placed(new QLabel(QStringLiteral("Folvane developers"), this), QStringLiteral("Label2"),
        QRect(20, 42, 252, 20));
    for (QLabel *title : {Label1, Label2})
        title->setAlignment(Qt::AlignCenter);

    Label4 =
        Placed(new QLabel(QStringLiteral("Web: "), this), QStringLiteral("Label4"), QRect(12, 75, 80, 18));
    Label5 = Placed(new QLabel(this), QStringLiteral("Label5"), QRect(94, 75, 186, 18));
    Label6 =
        Placed(new QLabel(QStringLiteral("Email: "), this), QStringLiteral("Label6"), QRect(12, 99, 80, 18));
    Label7 = Placed(new QLabel(this), QStringLiteral("Label7"), QRect(94, 99, 186, 18));

    // The captions stand right-aligned against their links, so both rows line up
    // whatever the font's widths.
    for (QLabel *caption : {Label4, Label6})
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel *link : {Label5, Label7}) {
        link->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        // The click goes through OpenWebPage/OpenMailLink, not straight to the desktop.
        link->setOpenExternalLinks(false);
    }
    connect(Label5, &QLabel::linkActivated, this, &TFormAbout::Label5Click);
    connect(Label7, &QLabel::linkActivated, this, &TFormAbout::Label7Click);

    const QUrl web = WebPageUrl();
    showLink(Label5, WebAddress(), web.toString(QUrl::FullyEncoded));
    const QUrl mail = MailUrl();
    showLink(Label7, MailAddress(), mail.toString(QUrl::FullyEncoded));
}

void TFormAbout::showLink(QLabel *label, const QString &address, const QString &href)
{
    if (address.isEmpty()) {
        label->setTextFormat(Qt::PlainText);
        label->setText(QStringLiteral("not set"));
        label->setEnabled(false);
        label->setCursor(Qt::ArrowCursor);
        return;
    }
    label->setTextFormat(Qt::RichText);
    label->setText(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(href.toHtmlEscaped(), address.toHtmlEscaped()));
    label->setToolTip(href);
    label->setEnabled(true);
    label->setCursor(Qt::PointingHandCursor);
}

void TFormAbout::Label5Click()
{
    OpenWebPage();
}

void TFormAbout::Label7Click()
{
    OpenMailLink();
}

void TFormAbout::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TFormAbout::FormShow()
{
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->setText(QStringLiteral("Folvane 2.3"));
}
