#include "ui/line_rows_view.h"

#include <QPainter>
#include <QPaintEvent>
#include <QPushButton>
#include <QScrollBar>

#include "core/texts.h"
#include "notify/line_status.h"

namespace orvel {

namespace {
QColor rgb(uint c) {
    return QColor(int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF));
}
// The dial string and the subscriber share what is left, in this ratio.
constexpr int kDialShare = 2, kNameShare = 3;
}  // namespace

class TLineRowsView::Canvas : public QWidget {
public:
    explicit Canvas(TLineRowsView& view) : QWidget(&view), view_(view) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    QSize sizeHint() const override {
        return {view_.preferredWidth(), view_.rowHeight_ * int(view_.rows_.size())};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent*) override { view_.relayout(); }
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        p.fillRect(e->rect(), palette().base());
        const int h = view_.rowHeight_;
        const int first = std::max(0, e->rect().top() / h);
        const int last = std::min(int(view_.rows_.size()) - 1, e->rect().bottom() / h);
        const int pad = view_.padding_;
        const QColor grid = palette().color(QPalette::Midlight);
        for (int i = first; i <= last; ++i) {
            const Row& r = view_.rows_[size_t(i)];
            ++view_.repaints_;
            p.setPen(palette().color(QPalette::Text));
            p.drawText(view_.cellRect(i, kNumber).adjusted(pad, 0, -pad, 0),
                       Qt::AlignRight | Qt::AlignVCenter, QString::number(i + 1));
            p.setPen(palette().color(QPalette::PlaceholderText));
            p.drawText(view_.cellRect(i, kBoard).adjusted(pad, 0, -pad, 0),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("%1/%2").arg(r.board + 1).arg(r.channel + 1));
            const QRect panel = view_.cellRect(i, kStatus).adjusted(0, 2, 0, -2);
            p.fillRect(panel, rgb(r.view.panel));
            p.setPen(rgb(r.view.font));
            p.drawText(panel.adjusted(pad, 0, -pad, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       r.view.status);
            if (r.view.controlsVisible) {
                p.setPen(palette().color(QPalette::Text));
                for (auto [column, text] : {std::pair{int(kDial), &r.view.number},
                                            std::pair{int(kName), &r.view.name}}) {
                    const QRect cell = view_.cellRect(i, column).adjusted(pad, 0, -pad, 0);
                    p.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter,
                               p.fontMetrics().elidedText(*text, Qt::ElideRight, cell.width()));
                }
            }
            p.setPen(grid);
            p.drawLine(0, (i + 1) * h - 1, width(), (i + 1) * h - 1);
        }
    }

private:
    TLineRowsView& view_;
};

class TLineRowsView::Header : public QWidget {
public:
    explicit Header(TLineRowsView& view) : QWidget(&view), view_(view) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        p.setPen(palette().color(QPalette::WindowText));
        const int shift = -view_.horizontalScrollBar()->value();
        const QString captions[kColumns] = {QStringLiteral("№"), T(textBoardChannelColumn),
                                            T(textStatusOfLine), T(textNumber), T(textAbonent),
                                            QString()};
        for (int c = 0; c < kColumns; ++c) {
            const Column& col = view_.columns_[c];
            const QRect cell(col.x + shift + view_.padding_, 0, col.width - 2 * view_.padding_,
                             height());
            p.drawText(cell, (c == kNumber ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                       captions[c]);
        }
    }

private:
    TLineRowsView& view_;
};

TLineRowsView::TLineRowsView(QWidget* parent)
    : QScrollArea(parent), canvas_(new Canvas(*this)), header_(new Header(*this)) {
    setObjectName(QStringLiteral("LineRows"));
    setWidgetResizable(true);
    setWidget(canvas_);
    measure();
    setViewportMargins(0, headerHeight_, 0, 0);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, header_,
            qOverload<>(&QWidget::update));
}

void TLineRowsView::measure() {
    const QFontMetrics fm(font());
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics bm(bold);
    padding_ = fm.averageCharWidth();
    const int pad2 = 2 * padding_;
    QPushButton probe(T(textListen));
    probe.setFont(bold);
    const QSize button = probe.sizeHint();
    rowHeight_ = std::max(fm.height() + 8, button.height() + 2);
    headerHeight_ = bm.height() + 8;
    int status = bm.horizontalAdvance(T(textStatusOfLine));
    for (int code = -1; code <= 17; ++code) {
        for (bool assigned : {false, true})
            if (const auto look = lineStatusLook(code, assigned))
                status = std::max(status, fm.horizontalAdvance(look->text));
    }
    minimum_[kNumber] = std::max(fm.horizontalAdvance(QStringLiteral("000")),
                                 bm.horizontalAdvance(QStringLiteral("№"))) +
                        pad2;
    minimum_[kBoard] = std::max(fm.horizontalAdvance(QStringLiteral("00/00")),
                                bm.horizontalAdvance(T(textBoardChannelColumn))) +
                       pad2;
    minimum_[kStatus] = status + pad2;
    minimum_[kDial] = std::max(fm.horizontalAdvance(QStringLiteral("w9w84951234567")),
                               bm.horizontalAdvance(T(textNumber))) +
                      pad2;
    minimum_[kName] = std::max(fm.horizontalAdvance(QString(24, QLatin1Char('x'))),
                               bm.horizontalAdvance(T(textAbonent))) +
                      pad2;
    minimum_[kListen] = button.width() + pad2 / 2;
    layoutColumns(0);
}

int TLineRowsView::preferredWidth() const {
    int w = 0;
    for (int m : minimum_)
        w += m;
    return w;
}

QSize TLineRowsView::sizeHint() const {
    return {preferredWidth() + 2 * frameWidth() + verticalScrollBar()->sizeHint().width(),
            heightForRows(std::max(1, rowCount()))};
}

int TLineRowsView::heightForRows(int rows) const {
    return headerHeight_ + rows * rowHeight_ + 2 * frameWidth();
}

void TLineRowsView::layoutColumns(int width) {
    const int spare = std::max(0, width - preferredWidth());
    int x = 0;
    for (int c = 0; c < kColumns; ++c) {
        int w = minimum_[c];
        if (c == kDial)
            w += spare * kDialShare / (kDialShare + kNameShare);
        else if (c == kName)
            w += spare - spare * kDialShare / (kDialShare + kNameShare);
        columns_[c] = {x, w};
        x += w;
    }
}

QRect TLineRowsView::cellRect(int row, int column) const {
    return {columns_[column].x, row * rowHeight_, columns_[column].width, rowHeight_};
}

void TLineRowsView::setLines(const std::vector<std::pair<int, int>>& boardChannel) {
    for (Row& r : rows_)
        delete r.listen;
    rows_.clear();
    rows_.reserve(boardChannel.size());
    for (size_t i = 0; i < boardChannel.size(); ++i) {
        Row r;
        r.board = boardChannel[i].first;
        r.channel = boardChannel[i].second;
        r.listen = new QPushButton(T(textListen), canvas_);
        r.listen->setCheckable(true);
        r.listen->setVisible(false);
        const int line = int(i);
        connect(r.listen, &QPushButton::toggled, this,
                [this, line](bool on) { emit listenToggled(line, on); });
        rows_.push_back(r);
    }
    canvas_->updateGeometry();
    canvas_->adjustSize();
    placeButtons();
    canvas_->update();
}

void TLineRowsView::placeButtons() {
    const Column& c = columns_[kListen];
    for (size_t i = 0; i < rows_.size(); ++i) {
        const QSize s = rows_[i].listen->sizeHint();
        rows_[i].listen->setGeometry(c.x + (c.width - s.width()) / 2,
                                     int(i) * rowHeight_ + (rowHeight_ - s.height()) / 2,
                                     s.width(), s.height());
    }
}

void TLineRowsView::setRow(int line, const TLineRowView& view) {
    if (line < 0 || line >= rowCount())
        return;
    Row& r = rows_[size_t(line)];
    if (r.view == view)
        return;
    if (r.view.controlsVisible != view.controlsVisible)
        r.listen->setVisible(view.controlsVisible);
    r.view = view;
    canvas_->update(0, line * rowHeight_, canvas_->width(), rowHeight_);
}

const TLineRowView* TLineRowsView::row(int line) const {
    return line >= 0 && line < rowCount() ? &rows_[size_t(line)].view : nullptr;
}

QPushButton* TLineRowsView::listenButton(int line) const {
    return line >= 0 && line < rowCount() ? rows_[size_t(line)].listen : nullptr;
}

int TLineRowsView::takeRepaintCount() {
    const int n = repaints_;
    repaints_ = 0;
    return n;
}

void TLineRowsView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    relayout();
}

void TLineRowsView::relayout() {
    // The header sits in the margin above the viewport, so its columns start
    // where the rows' columns start.
    const QRect vp = viewport()->geometry();
    header_->setGeometry(vp.x(), vp.y() - headerHeight_, vp.width(), headerHeight_);
    layoutColumns(canvas_->width());
    placeButtons();
    canvas_->update();
    header_->update();
}

}  // namespace orvel
