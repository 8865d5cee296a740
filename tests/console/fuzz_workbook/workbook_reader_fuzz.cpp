// Fuzz target of the workbook reader. An input is one of:
// - an archive ("PK...") or an Excel 97 compound file, read as it is;
// - a package in text: parts introduced by a line "==> part/name", packed
//   into an archive here (stored, with right checksums) so that mutations
//   reach the XML of the parts instead of dying on the archive's checks.
#include <sys/mman.h>
#include <unistd.h>
#include <zip.h>

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string>

#include "data/workbook_reader.h"

namespace {

QByteArray packParts(const QByteArray& text) {
    zip_error_t err;
    zip_error_init(&err);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &err);
    if (!buffer)
        return {};
    zip_source_keep(buffer);
    zip_t* z = zip_open_from_source(buffer, ZIP_TRUNCATE, &err);
    if (!z) {
        zip_source_free(buffer);
        return {};
    }
    const QByteArray marker("==> ");
    qsizetype at = text.startsWith(marker) ? 0 : text.indexOf("\n" + marker);
    while (at >= 0) {
        const qsizetype nameStart = at + (text.at(at) == '\n' ? 1 : 0) + marker.size();
        const qsizetype nameEnd = text.indexOf('\n', nameStart);
        if (nameEnd < 0)
            break;
        const qsizetype next = text.indexOf("\n" + marker, nameEnd);
        const qsizetype bodyEnd = next < 0 ? text.size() : next;
        const QByteArray name = text.mid(nameStart, nameEnd - nameStart);
        const QByteArray body = text.mid(nameEnd + 1, bodyEnd - nameEnd - 1);
        void* copy = std::malloc(size_t(std::max<qsizetype>(body.size(), 1)));
        std::memcpy(copy, body.constData(), size_t(body.size()));
        zip_source_t* src = zip_source_buffer(z, copy, zip_uint64_t(body.size()), 1);
        const zip_int64_t index =
            src && !name.isEmpty() ? zip_file_add(z, name.constData(), src, ZIP_FL_OVERWRITE) : -1;
        if (index < 0) {
            if (src)
                zip_source_free(src);
            else
                std::free(copy);
        } else {
            zip_set_file_compression(z, zip_uint64_t(index), ZIP_CM_STORE, 0);
        }
        at = next;
    }
    QByteArray out;
    if (zip_close(z) != 0) {
        zip_discard(z);
    } else if (zip_source_open(buffer) == 0) {
        zip_source_seek(buffer, 0, SEEK_END);
        const zip_int64_t size = zip_source_tell(buffer);
        zip_source_seek(buffer, 0, SEEK_SET);
        if (size > 0) {
            out.resize(qsizetype(size));
            if (zip_source_read(buffer, out.data(), zip_uint64_t(size)) != size)
                out.clear();
        }
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    return out;
}

// Everything a window does with a read workbook.
void use(const orvel::TWorkbook& book) {
    size_t sum = 0;
    for (const auto& sheet : book.sheets) {
        for (const auto& cell : sheet.cells)
            sum += size_t(cell.displayText().size());
        for (int r = 1; r <= std::min(sheet.rowCount, 50); ++r) {
            sum += size_t(sheet.rowHeight(r));
            for (int c = 1; c <= std::min(sheet.columnCount, 50); ++c)
                sum += sheet.cell(r, c) ? 1 : size_t(sheet.columnWidth(c) > 0);
        }
    }
    if (sum == size_t(-1))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    if (bytes.startsWith("\xD0\xCF\x11\xE0")) {
        // Excel 97 files are read by path.
        const int fd = ::memfd_create("xls", MFD_CLOEXEC);
        if (fd < 0)
            return 0;
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n <= 0)
                break;
            done += size_t(n);
        }
        const auto book = orvel::ReadWorkbook(
            QString::fromStdString("/proc/self/fd/" + std::to_string(fd)), &error);
        if (book)
            use(*book);
        ::close(fd);
        return 0;
    }
    const auto book =
        orvel::ReadWorkbookBytes(bytes.startsWith("PK") ? bytes : packParts(bytes), &error);
    if (book)
        use(*book);
    return 0;
}
