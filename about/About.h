#pragma once

#include <QDialog>

class QGroupBox;
class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

// The modal "Info über" dialog: the program's version block, its directories and file date on
// the tab "Modul"; operating system, screens and default printer on the tab "System". Filled
// once when created; it changes nothing. GUI thread.
class TFrmDlgAbout : public QDialog {
    Q_OBJECT

public:
    // mainWindow is the window whose position the monitor report shows; it may be null.
    TFrmDlgAbout(QWidget* mainWindow, QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateComponents();
    void FormCreate(QWidget* mainWindow);
    // Sees every key before the dialog's controls do.
    bool FormKeyDown(QKeyEvent* event);

    QTabWidget* Notebook = nullptr;
    QWidget* TabModul = nullptr;
    QWidget* TabSystem = nullptr;
    QPushButton* BtnClose = nullptr;

    QGroupBox* GrpCopyright = nullptr;
    QLabel* LblDesc = nullptr;
    QLabel* LblCopyright = nullptr;
    QLabel* LblComments = nullptr;
    QGroupBox* GrpVersion = nullptr;
    QLabel* LblFileVersion = nullptr;
    QLabel* LblBuildDate = nullptr;
    QGroupBox* GrpProgram = nullptr;
    QLabel* LblPathProgram = nullptr;
    QLabel* LblPathWin = nullptr;

    QGroupBox* GrpSys = nullptr;
    QLabel* LblWinVer = nullptr;
    QLabel* LblDosVer = nullptr;
    QGroupBox* GrpScreen = nullptr;
    QLabel* LblScreenRes = nullptr;
    QLabel* LblScreenColors = nullptr;
    QPlainTextEdit* txtScreen = nullptr;
    QGroupBox* GrpPrint = nullptr;
    QLabel* LblPrinter = nullptr;
    QLabel* LblPrinterDriver = nullptr;
    QLabel* LblPrinterPort = nullptr;
    QLabel* LblPrinterRes = nullptr;
};
