#pragma once
// The line rows of the status window: one row per line (number, board and
// channel, status panel, dial string, subscriber, listen button) under a
// header whose captions stand over their columns. Rows are painted, not
// laid out, so that a change of one line repaints only its row: a run
// changes up to 180 rows several times a second.

#include <QScrollArea>
#include <QString>
#include <vector>

class QPushButton;

namespace orvel {

// What a row shows besides its fixed line number, board and channel.
struct TLineRowView {
    QString status;
    uint panel = 0x808080;
    uint font = 0xC0C0C0;
    QString number;
    QString name;
    bool controlsVisible = false;
    bool operator==(const TLineRowView&) const = default;
};

class TLineRowsView : public QScrollArea {
    Q_OBJECT
public:
    explicit TLineRowsView(QWidget* parent = nullptr);

    // One row per line, with its 0-based board and channel.
    void setLines(const std::vector<std::pair<int, int>>& boardChannel);
    int rowCount() const { return int(rows_.size()); }
    // Repaints the row only when what it shows changed.
    void setRow(int line, const TLineRowView& row);
    const TLineRowView* row(int line) const;
    QPushButton* listenButton(int line) const;
    int rowHeight() const { return rowHeight_; }
    // Height that shows `rows` rows with the header, without scrolling.
    int heightForRows(int rows) const;
    int preferredWidth() const;
    // Wide enough for every column and a scroll bar, high enough for every row.
    QSize sizeHint() const override;
    // Rows repainted since the last call (for the benchmark and tests).
    int takeRepaintCount();

signals:
    void listenToggled(int line, bool on);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class Canvas;
    class Header;
    friend class Canvas;
    friend class Header;
    struct Column {
        int x = 0, width = 0;
    };
    enum { kNumber, kBoard, kStatus, kDial, kName, kListen, kColumns };
    struct Row {
        int board = 0, channel = 0;
        TLineRowView view;
        QPushButton* listen = nullptr;
    };

    void measure();
    void relayout();
    void layoutColumns(int width);
    void placeButtons();
    QRect cellRect(int row, int column) const;

    Canvas* canvas_;
    Header* header_;
    std::vector<Row> rows_;
    Column columns_[kColumns];
    int minimum_[kColumns] = {};
    int rowHeight_ = 24;
    int headerHeight_ = 24;
    int padding_ = 6;
    int repaints_ = 0;
};

}  // namespace orvel
