#include "TFormAbout.h"

#include "HelpPage.h"

#include <QLabel>

TFormAbout::TFormAbout(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormAbout"));
    setWindowTitle(QStringLiteral("About Folvane"));
    setFixedSize(292, 152);
    setModal(true);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(20, 16, 252, 22);
    Label1->setAlignment(Qt::AlignCenter);

    Label2 = new QLabel(QStringLiteral("Folvane developers"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(20, 42, 252, 20);
    Label2->setAlignment(Qt::AlignCenter);

    // The captions stand right-aligned against their links, so both rows line up
    // whatever the font's widths.
    Label4 = new QLabel(QStringLiteral("Web: "), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(12, 75, 80, 18);
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    Label5 = new QLabel(this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setGeometry(94, 75, 186, 18);

    Label6 = new QLabel(QStringLiteral("Email: "), this);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label6->setGeometry(12, 99, 80, 18);
    Label6->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    Label7 = new QLabel(this);
    Label7->setObjectName(QStringLiteral("Label7"));
    Label7->setGeometry(94, 99, 186, 18);

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
    label->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(href.toHtmlEscaped(), address.toHtmlEscaped()));
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
