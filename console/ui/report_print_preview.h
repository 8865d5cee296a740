#pragma once
// "Предварительный просмотр": the pages of a workbook sheet as they will be
// printed, zoomed from 20 to 400 %, with the printer dialog (or a PDF file
// when no printer is installed) and the page setup.

#include <QDialog>
#include <memory>

class QComboBox;
class QLabel;
class QPrinter;
class QPrintPreviewWidget;

namespace orvel {

struct TWorkbookSheet;

class TfReportPrintPreview : public QDialog {
    Q_OBJECT
public:
    TfReportPrintPreview(const TWorkbookSheet& sheet, QWidget* parent = nullptr);
    ~TfReportPrintPreview() override;

    QPrinter& printer() { return *printer_; }
    int pageCount() const;
    // The pages chosen in the printer dialog (0, 0 for all).
    int fromPage() const { return from_; }
    int toPage() const { return to_; }
    // Zoom in percent: 20, 50, 100, 200 or 400.
    void setZoomPercent(int percent);
    double zoomFactor() const;
    QPrintPreviewWidget* previewWidget() const { return preview_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choosePrinter();
    void pageSetup();
    void refreshStatus();

    const TWorkbookSheet& sheet_;
    std::unique_ptr<QPrinter> printer_;
    QPrintPreviewWidget* preview_;
    QComboBox* zoom_;
    QLabel* status_;
    QPoint dragFrom_;
    bool dragging_ = false;
    int from_ = 0, to_ = 0;
};

// True when the system knows at least one printer.
bool hasPrinters();

}  // namespace orvel
