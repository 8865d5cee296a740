#include "diag/line_state_log.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstring>

#include "core/cp1251.h"
#include "core/safe_file.h"

namespace orvel {
namespace {

constexpr int kTimeOffset = 8, kTimeMax = 8;
constexpr int kNumberOffset = 17, kNumberMax = 30;
constexpr int kNameOffset = 48, kNameMax = 40;

void putString(QByteArray& rec, int offset, int max, const QString& text) {
    const QByteArray b = cp1251::encode(text).left(max);
    rec[offset] = char(b.size());
    std::memcpy(rec.data() + offset + 1, b.constData(), size_t(b.size()));
}

QString getString(const char* rec, int offset, int max) {
    const int len = std::min<int>(static_cast<unsigned char>(rec[offset]), max);
    return cp1251::decode(std::string_view(rec + offset + 1, size_t(len)));
}

}  // namespace

QByteArray TLineStateRecord::toBytes() const {
    QByteArray rec(kLineStateRecordSize, '\0');
    qToLittleEndian<qint32>(line, rec.data());
    qToLittleEndian<qint32>(state, rec.data() + 4);
    putString(rec, kTimeOffset, kTimeMax, time);
    putString(rec, kNumberOffset, kNumberMax, number);
    putString(rec, kNameOffset, kNameMax, name);
    return rec;
}

TLineStateRecord TLineStateRecord::fromBytes(const char* bytes) {
    TLineStateRecord r;
    r.line = qFromLittleEndian<qint32>(bytes);
    r.state = qFromLittleEndian<qint32>(bytes + 4);
    r.time = getString(bytes, kTimeOffset, kTimeMax);
    r.number = getString(bytes, kNumberOffset, kNumberMax);
    r.name = getString(bytes, kNameOffset, kNameMax);
    return r;
}

QString lineStateText(int code) {
    static const std::array<const char*, 20> kTexts = {
        "Линия отключена",
        "Линия не включена",
        "Линия не используется",
        "Набор номера",
        "Проверка наличия сигнала в линии",
        "Пауза",
        "Повторный набор номера",
        "Нет линии",
        "Пауза в наборе",
        "Тест КПВ",
        "Занято",
        "Нет сигнала",
        "Проигрывание сообщения",
        "Сообщение о подтверждении",
        "Подтверждение приема сообщения",
        "Оповещён",
        "Не оповещён",
        "Не подняли трубку",
        "Тест сигнала \"Занято\"",
        "Номер не существует",
    };
    if (code < -1 || code > 18)
        return QStringLiteral("Unknown ") + QString::number(code);
    return QString::fromUtf8(kTexts[size_t(code + 1)]);
}

TLineStateLog::TLineStateLog(QString programDir) : programDir_(std::move(programDir)) {}

void TLineStateLog::setProgramDir(QString dir) {
    std::lock_guard lock(mutex_);
    programDir_ = std::move(dir);
}

QString TLineStateLog::fileNameFor(const QDateTime& start) {
    return start.toString(QStringLiteral("yyyyMMdd_hhmmss_zzz")) + QStringLiteral(".log");
}

void TLineStateLog::startRun(const QDateTime& start) {
    std::lock_guard lock(mutex_);
    file_ = programDir_ + QStringLiteral("/Log/") + fileNameFor(start);
}

QString TLineStateLog::currentFile() const {
    std::lock_guard lock(mutex_);
    return file_;
}

bool TLineStateLog::WriteLineState(int line, const TLineStateRecord& record) {
    std::lock_guard lock(mutex_);
    if (file_.isEmpty())
        return false;
    QDir().mkpath(programDir_ + QStringLiteral("/Log"));
    TLineStateRecord r = record;
    r.line = line;
    pending_ += r.toBytes();
    if (!appendSafely(file_, pending_))
        return false;
    pending_.clear();
    return true;
}

int TLineStateLog::pendingRecords() const {
    std::lock_guard lock(mutex_);
    return int(pending_.size() / kLineStateRecordSize);
}

}  // namespace orvel
