#pragma once

#include <QDialog>

class QLabel;

// The About dialog: product name and version, the maker, and links to the maker's web
// page and mail address. Made for one showing and closed with the window's close box.
class TFormAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAbout(QWidget *parent = nullptr);

    // The clicks on the two links; they open nothing when the address is not set.
    void Label5Click();
    void Label7Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    // A link to `address`, or a greyed "not set" that points nowhere.
    static void showLink(QLabel *label, const QString &address, const QString &href);

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
};
