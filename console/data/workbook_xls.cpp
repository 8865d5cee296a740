// Excel 97 workbooks (.xls), as older installations saved their results:
// values only (freexl reads neither fonts nor borders nor sizes).
//
// freexl is not safe on hostile files (fuzzing found it overrunning its own
// buffers), so it runs in a child process that hands the cells back through
// a pipe: a file that upsets it costs the child, never the program.
#include <fcntl.h>
#include <freexl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDataStream>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "data/workbook_reader.h"

namespace orvel {

namespace {

struct XlsHandle {
    const void* handle = nullptr;
    ~XlsHandle() {
        if (handle)
            freexl_close(handle);
    }
};

bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

// freexl gives dates as "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS".
void setDate(TWorkbookCell* cell, const char* text, int type) {
    const QString s = QString::fromUtf8(text);
    QDateTime dt;
    if (type == FREEXL_CELL_TIME)
        dt = QDateTime(QDate(1899, 12, 30), QTime::fromString(s, QStringLiteral("hh:mm:ss")));
    else if (type == FREEXL_CELL_DATE)
        dt = QDateTime(QDate::fromString(s, QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
    else
        dt = QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (dt.isValid()) {
        cell->kind = TCellKind::Date;
        cell->date = dt;
        cell->number = workbookDateTimeToSerial(dt);
    } else {
        cell->kind = TCellKind::Text;
        cell->text = s;
    }
}

// In the child: reads with freexl.
std::optional<TWorkbook> readDirect(const QString& path, QString* error) {
    XlsHandle xls;
    const int rc = freexl_open(QFile::encodeName(path).constData(), &xls.handle);
    if (rc != FREEXL_OK) {
        fail(error, rc == FREEXL_INSUFFICIENT_MEMORY ? QStringLiteral("книга Excel слишком велика")
                                                     : QStringLiteral("книга Excel повреждена"));
        xls.handle = nullptr;  // a failed open has released what it built
        return std::nullopt;
    }
    unsigned int info = 0;
    if (freexl_get_info(xls.handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
        info == FREEXL_BIFF_OBFUSCATED) {
        fail(error, QStringLiteral("книга защищена паролем"));
        return std::nullopt;
    }
    unsigned int count = 0;
    if (freexl_get_info(xls.handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK || count == 0) {
        fail(error, QStringLiteral("в книге нет листов"));
        return std::nullopt;
    }
    if (count > unsigned(kWorkbookMaxSheets)) {
        fail(error, QStringLiteral("слишком много листов"));
        return std::nullopt;
    }
    TWorkbook book;
    qint64 budget = kWorkbookMaxCells;
    for (unsigned short s = 0; s < count; ++s) {
        TWorkbookSheet sheet;
        const char* name = nullptr;
        if (freexl_get_worksheet_name(xls.handle, s, &name) == FREEXL_OK && name)
            sheet.name = QString::fromUtf8(name);
        unsigned int rows = 0;
        unsigned short cols = 0;
        if (freexl_select_active_worksheet(xls.handle, s) != FREEXL_OK ||
            freexl_worksheet_dimensions(xls.handle, &rows, &cols) != FREEXL_OK) {
            fail(error, QStringLiteral("лист книги Excel не читается"));
            return std::nullopt;
        }
        rows = std::min<unsigned>(rows, unsigned(kWorkbookMaxRows));
        for (unsigned int r = 0; r < rows; ++r) {
            for (unsigned short c = 0; c < cols && c < kWorkbookMaxColumns; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(xls.handle, r, c, &v) != FREEXL_OK)
                    continue;
                TWorkbookCell cell;
                cell.row = int(r) + 1;
                cell.col = int(c) + 1;
                switch (v.type) {
                    case FREEXL_CELL_INT:
                        cell.kind = TCellKind::Number;
                        cell.number = v.value.int_value;
                        break;
                    case FREEXL_CELL_DOUBLE:
                        cell.kind = TCellKind::Number;
                        cell.number = v.value.double_value;
                        break;
                    case FREEXL_CELL_TEXT:
                    case FREEXL_CELL_SST_TEXT:
                        cell.kind = TCellKind::Text;
                        cell.text = QString::fromUtf8(v.value.text_value ? v.value.text_value : "");
                        break;
                    case FREEXL_CELL_DATE:
                    case FREEXL_CELL_DATETIME:
                    case FREEXL_CELL_TIME:
                        setDate(&cell, v.value.text_value ? v.value.text_value : "", v.type);
                        break;
                    default:
                        continue;
                }
                if (--budget < 0) {
                    fail(error, QStringLiteral("слишком много ячеек"));
                    return std::nullopt;
                }
                sheet.rowCount = std::max(sheet.rowCount, cell.row);
                sheet.columnCount = std::max(sheet.columnCount, cell.col);
                sheet.cells.push_back(std::move(cell));
            }
        }
        book.sheets.push_back(std::move(sheet));
    }
    return book;
}

constexpr qint32 kStreamVersion = 1;

QByteArray serialize(const std::optional<TWorkbook>& book, const QString& error) {
    QByteArray out;
    QDataStream ds(&out, QIODevice::WriteOnly);
    ds << kStreamVersion << bool(book) << error;
    if (!book)
        return out;
    ds << qint32(book->sheets.size());
    for (const TWorkbookSheet& s : book->sheets) {
        ds << s.name << qint64(s.cells.size());
        for (const TWorkbookCell& c : s.cells)
            ds << qint32(c.row) << qint32(c.col) << qint8(c.kind) << c.text << c.number << c.date;
    }
    return out;
}

std::optional<TWorkbook> deserialize(const QByteArray& bytes, QString* error) {
    QDataStream ds(bytes);
    qint32 version = 0;
    bool ok = false;
    QString why;
    ds >> version >> ok >> why;
    if (ds.status() != QDataStream::Ok || version != kStreamVersion) {
        fail(error, QStringLiteral("книга Excel не читается"));
        return std::nullopt;
    }
    if (!ok) {
        fail(error, why);
        return std::nullopt;
    }
    TWorkbook book;
    qint32 sheets = 0;
    ds >> sheets;
    if (sheets < 1 || sheets > kWorkbookMaxSheets) {
        fail(error, QStringLiteral("книга Excel не читается"));
        return std::nullopt;
    }
    qint64 budget = kWorkbookMaxCells;
    for (qint32 i = 0; i < sheets && ds.status() == QDataStream::Ok; ++i) {
        TWorkbookSheet s;
        qint64 cells = 0;
        ds >> s.name >> cells;
        if (cells < 0 || (budget -= cells) < 0)
            break;
        for (qint64 k = 0; k < cells && ds.status() == QDataStream::Ok; ++k) {
            TWorkbookCell c;
            qint32 row = 0, col = 0;
            qint8 kind = 0;
            ds >> row >> col >> kind >> c.text >> c.number >> c.date;
            if (row < 1 || row > kWorkbookMaxRows || col < 1 || col > kWorkbookMaxColumns ||
                kind < 0 || kind > qint8(TCellKind::Error))
                break;
            c.row = row;
            c.col = col;
            c.kind = TCellKind(kind);
            s.rowCount = std::max(s.rowCount, row);
            s.columnCount = std::max(s.columnCount, col);
            s.cells.push_back(std::move(c));
        }
        book.sheets.push_back(std::move(s));
    }
    if (ds.status() != QDataStream::Ok || int(book.sheets.size()) != sheets) {
        fail(error, QStringLiteral("книга Excel не читается"));
        return std::nullopt;
    }
    return book;
}

}  // namespace

std::optional<TWorkbook> readXlsWorkbook(const QString& path, QString* error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        fail(error, QString::fromLocal8Bit(strerror(errno)));
        return std::nullopt;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        fail(error, QString::fromLocal8Bit(strerror(errno)));
        return std::nullopt;
    }
    if (pid == 0) {
        ::close(fds[0]);
        QString why;
        const auto book = readDirect(path, &why);
        const QByteArray out = serialize(book, why);
        qsizetype done = 0;
        while (done < out.size()) {
            const ssize_t n = ::write(fds[1], out.constData() + done, size_t(out.size() - done));
            if (n <= 0)
                ::_exit(1);
            done += n;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray bytes;
    bool tooLarge = false;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (bytes.size() + n > kWorkbookMaxPartBytes) {
            tooLarge = true;
            break;
        }
        bytes.append(buf, qsizetype(n));
    }
    ::close(fds[0]);
    if (tooLarge)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (tooLarge) {
        fail(error, QStringLiteral("книга Excel слишком велика"));
        return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fail(error, QStringLiteral("книга Excel повреждена"));
        return std::nullopt;
    }
    return deserialize(bytes, error);
}

}  // namespace orvel
