#pragma once
// Fills cells of an Office Open XML workbook made from a template: the
// workbook is opened from the template's bytes, cells are set on its sheets
// and the result is written aside, then renamed.

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

namespace orvel {

class TXlsxWorkbook {
public:
    TXlsxWorkbook();
    ~TXlsxWorkbook();

    // False (with `error` set) when the bytes are not a workbook with sheets.
    bool open(const QByteArray& templateBytes, QString* error = nullptr);
    int sheetCount() const { return int(sheets_.size()); }

    // The style index of a cell (0 when it has none or does not exist).
    int cellStyle(int sheet, int row, int col) const;
    // A new cell format: `style` with a thin black border on all four sides.
    int addBorderedStyle(int style);
    // Sets a text or number; style -1 keeps the cell's own format.
    void setText(int sheet, int row, int col, const QString& text, int style = -1);
    void setNumber(int sheet, int row, int col, double value, int style = -1);
    void setActiveSheet(int sheet);
    // Removes every sheet but `sheet` from the workbook (it becomes sheet 0).
    void keepOnlySheet(int sheet);

    // Writes the workbook to `path` (aside, then renamed).
    bool save(const QString& path, QString* error = nullptr);

private:
    struct Part {
        QString name;
        std::unique_ptr<pugi::xml_document> doc;
    };
    pugi::xml_node cell(int sheet, int row, int col, int style);
    pugi::xml_document* partDoc(const QString& name);

    QByteArray template_;
    std::vector<Part> parts_;      // parsed parts that may change
    std::vector<QString> sheets_;  // part names of the sheets in workbook order
};

// "A", "B", ..., "Z", "AA", ...
QString columnName(int col);

}  // namespace orvel
