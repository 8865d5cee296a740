#include "ui/report_print_preview.h"

#include <QAbstractScrollArea>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "core/texts.h"
#include "ui/sheet_pages.h"

namespace orvel {

namespace {
constexpr int kZoomSteps[] = {20, 50, 100, 200, 400};
constexpr int kDefaultZoomIndex = 2;  // 100 %
}  // namespace

bool hasPrinters() {
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

TfReportPrintPreview::TfReportPrintPreview(const TWorkbookSheet& sheet, QWidget* parent)
    : QDialog(parent),
      sheet_(sheet),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    setObjectName(QStringLiteral("fReportPrintPreview"));
    setWindowTitle(T(textPreview));
    printer_->setPageLayout(sheetPageLayout(sheet));
    if (!hasPrinters())
        printer_->setOutputFormat(QPrinter::PdfFormat);

    preview_ = new QPrintPreviewWidget(printer_.get(), this);
    preview_->setZoomMode(QPrintPreviewWidget::CustomZoom);
    connect(preview_, &QPrintPreviewWidget::paintRequested, this,
            [this](QPrinter* printer) { printSheet(sheet_, *printer); });
    connect(preview_, &QPrintPreviewWidget::previewChanged, this,
            &TfReportPrintPreview::refreshStatus);
    for (QAbstractScrollArea* area : preview_->findChildren<QAbstractScrollArea*>())
        area->viewport()->installEventFilter(this);

    zoom_ = new QComboBox(this);
    for (int z : kZoomSteps)
        zoom_->addItem(QStringLiteral("%1 %").arg(z), z);
    zoom_->setCurrentIndex(kDefaultZoomIndex);
    connect(zoom_, &QComboBox::currentIndexChanged, this,
            [this](int i) { preview_->setZoomFactor(zoom_->itemData(i).toInt() / 100.0); });
    preview_->setZoomFactor(1.0);

    auto* print = new QPushButton(T(textPreviewPrint), this);
    auto* setup = new QPushButton(T(textPreviewSetup), this);
    auto* cancel = new QPushButton(T(textPreviewCancel), this);
    connect(print, &QPushButton::clicked, this, &TfReportPrintPreview::choosePrinter);
    connect(setup, &QPushButton::clicked, this, &TfReportPrintPreview::pageSetup);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    status_ = new QLabel(this);

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(T(textScale) + QLatin1Char(':'), this));
    bar->addWidget(zoom_);
    bar->addSpacing(12);
    bar->addWidget(print);
    bar->addWidget(setup);
    bar->addWidget(cancel);
    bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(preview_, 1);
    layout->addWidget(status_);
    resize(900, 700);
    preview_->updatePreview();
    refreshStatus();
}

TfReportPrintPreview::~TfReportPrintPreview() = default;

int TfReportPrintPreview::pageCount() const {
    return preview_->pageCount();
}

void TfReportPrintPreview::setZoomPercent(int percent) {
    const int i = zoom_->findData(percent);
    if (i >= 0)
        zoom_->setCurrentIndex(i);
}

double TfReportPrintPreview::zoomFactor() const {
    return preview_->zoomFactor();
}

void TfReportPrintPreview::refreshStatus() {
    status_->setText(T(textPreviewPages)
                         .arg(preview_->pageCount() > 0 ? preview_->currentPage() : 0)
                         .arg(preview_->pageCount()));
}

void TfReportPrintPreview::choosePrinter() {
    if (printer_->outputFormat() == QPrinter::PdfFormat) {
        // No printer: the pages go to a PDF file.
        const QString file =
            QFileDialog::getSaveFileName(this, T(textPreviewPrint), QDir::homePath(),
                                         T(textReportPdfFile) + QStringLiteral(" (*.pdf)"));
        if (file.isEmpty())
            return;
        printer_->setOutputFileName(file.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
                                        ? file
                                        : file + QStringLiteral(".pdf"));
        from_ = to_ = 0;
        accept();
        return;
    }
    QPrintDialog dialog(printer_.get(), this);
    dialog.setMinMax(1, std::max(1, pageCount()));
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (printer_->printRange() == QPrinter::PageRange) {
        from_ = printer_->fromPage();
        to_ = printer_->toPage();
    } else {
        from_ = to_ = 0;
    }
    accept();
}

void TfReportPrintPreview::pageSetup() {
    QPageSetupDialog dialog(printer_.get(), this);
    if (dialog.exec() == QDialog::Accepted)
        preview_->updatePreview();
}

bool TfReportPrintPreview::eventFilter(QObject* watched, QEvent* event) {
    // Dragging with the middle button pressed moves the page under it.
    auto* viewport = qobject_cast<QWidget*>(watched);
    auto* area = viewport ? qobject_cast<QAbstractScrollArea*>(viewport->parentWidget()) : nullptr;
    if (!area)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::MiddleButton) {
            dragging_ = true;
            dragFrom_ = me->position().toPoint();
            return true;
        }
    } else if (event->type() == QEvent::MouseMove && dragging_) {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint d = me->position().toPoint() - dragFrom_;
        dragFrom_ = me->position().toPoint();
        area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->value() - d.x());
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->value() - d.y());
        return true;
    } else if (event->type() == QEvent::MouseButtonRelease && dragging_) {
        dragging_ = false;
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace orvel
