#pragma once

#include <QDialog>
#include <QStringList>

class QFrame;
class QLabel;
class QListWidget;
class QPushButton;

// The column settings dialog: one checkable row per entry of the column catalogue, in
// catalogue order, checked when the entry is visible. OK writes the checks into the
// configuration and saves it; the dialog closes only when the save succeeded. Made for
// one use: every showing fills the list afresh from the document in memory.
class TFormConfig : public QDialog
{
    Q_OBJECT

public:
    explicit TFormConfig(QWidget *parent = nullptr);

    // Fills clbList from the catalogue. An entry whose Visible cannot be read keeps
    // its row, partly checked, and its reason goes to loadProblems(); StoreChecks
    // leaves such an entry as it is until the user checks or clears its row.
    void LoadChecks();
    // Writes each row's check into its entry's Visible and saves the configuration.
    // Throws ConfigError when the file cannot be written (the entries keep the values).
    void StoreChecks();

    QStringList loadProblems() const { return m_loadProblems; }

    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormShow();
    void warn(const QString &text);

    // What LoadChecks could not read, kept for loadProblems().
    QStringList m_loadProblems;

    QLabel *Label1 = nullptr;
    QFrame *Panel1 = nullptr;
    QListWidget *clbList = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
};
