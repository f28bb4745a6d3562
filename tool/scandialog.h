#ifndef SCANDIALOG_H
#define SCANDIALOG_H

#include "scanfind.h"
#include "scanplan.h"

#include <QDialog>

#include <memory>

class Scanner;

namespace Ui {
class ScanDialog;
}

// "Поиск устройств": runs the scanner over a serial port or a TCP host with progress and
// a stop, lists what answered, and writes a description of a find to be opened as a device.
class ScanDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ScanDialog(QWidget *parent = nullptr);
    ~ScanDialog() override;

    // The plan the fields describe.
    ScanPlan plan() const;
    QVector<ScanFind> finds() const;
    // Writes the description of the find at the row; false with the reason when it cannot.
    bool writeDescription(int row, const QString &fileName, QString *errorText) const;

signals:
    // A description written for a find, to be opened as a device.
    void deviceDescribed(const QString &fileName);

private slots:
    void on_buttonStart_clicked();
    void on_buttonStop_clicked();
    void on_buttonOpenDevice_clicked();

private:
    void setUpFields();
    void showProgress(int done, int total, const ScanCandidate &candidate);
    void addFind(const ScanFind &find);
    void scanEnded(bool cancelled);
    void setRunning(bool running);
    static QVector<int> baudRatesIn(const QString &text);

    std::unique_ptr<Ui::ScanDialog> m_ui;
    Scanner *m_scanner;
    // The plan of the finds shown: their link keys come from it.
    ScanPlan m_lastPlan;
};

#endif // SCANDIALOG_H
