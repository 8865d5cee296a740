#include "core/operators_admin.h"

#include "core/cp1251.h"
#include "core/operator_rights.h"
#include "core/texts.h"

namespace orvel {
namespace {

struct RightWord {
    const char* word;
    OperatorRight right;
    TextId text;
};
constexpr RightWord kRightWords[] = {
    {"admin", OperatorRight::Administrator, textAdminRights},
    {"start", OperatorRight::StartNotification, textAlarmStart},
    {"base", OperatorRight::ChangeBase, textAbonentsBaseChange},
    {"lines", OperatorRight::ChangeLineParams, textLineOptionsChange},
    {"groups", OperatorRight::ChangeGroups, textAbonentsGroupChange},
    {"params", OperatorRight::ChangeNotifyParams, textAlarmOptionsChange},
    {"reports", OperatorRight::ViewReports, textReportViewing},
    {"interface", OperatorRight::Interface, textInterfaceChange},
    {"export", OperatorRight::ExportRecords, textExportRecords},
};

}  // namespace

std::optional<std::uint16_t> parseRightsList(const QString& text) {
    std::uint16_t bits = 0;
    for (const QString& raw : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString w = raw.trimmed().toLower();
        bool number = false;
        const uint value = w.toUInt(&number, 0);
        if (number && value <= 0xFFFF) {
            bits |= std::uint16_t(value) & kAllRightsBits;
            continue;
        }
        if (w == QLatin1String("all")) {
            bits |= kAllRightsBits;
            continue;
        }
        if (w == QLatin1String("none"))
            continue;
        bool known = false;
        for (const RightWord& r : kRightWords) {
            if (w == QLatin1String(r.word)) {
                bits |= static_cast<std::uint16_t>(r.right);
                known = true;
            }
        }
        if (!known)
            return std::nullopt;
    }
    return bits;
}

QStringList rightsNames(std::uint16_t bits) {
    QStringList names;
    for (const RightWord& r : kRightWords)
        if (bits & static_cast<std::uint16_t>(r.right))
            names << T(r.text);
    return names;
}

bool TOperatorsAdmin::fail(const QString& why) {
    error_ = why;
    return false;
}

bool TOperatorsAdmin::load() {
    return loadOperatorsFile(path_, &contents_, &error_);
}

bool TOperatorsAdmin::save() {
    return saveOperatorsFile(path_, contents_.records, &error_);
}

QList<TOperatorsAdmin::Row> TOperatorsAdmin::rows() const {
    QList<Row> rows;
    for (const QByteArray& bytes : contents_.records) {
        const TOperatorFileRecord r = decodeOperatorRecord(bytes.constData());
        Row row;
        row.readable = r.name && !r.name->isEmpty();
        if (row.readable)
            row.name = cp1251::decode(*r.name);
        row.rights = r.rights;
        row.hashed = r.keepsHash();
        rows << row;
    }
    return rows;
}

// Only the first record of a name counts at login, so that is the one edited.
int TOperatorsAdmin::find(const QString& name) const {
    for (int k = 0; k < contents_.records.size(); ++k) {
        const TOperatorFileRecord r = decodeOperatorRecord(contents_.records[k].constData());
        if (r.name && cp1251::decode(*r.name) == name)
            return k;
    }
    return -1;
}

bool TOperatorsAdmin::rewrite(int index, const TOperatorFileRecord& record, const QString& name,
                              std::uint16_t rights, const std::optional<QString>& newPassword) {
    TOperatorEntry e;
    e.name = name;
    e.rights = rights;
    e.value1 = record.value1;
    e.value2 = record.value2;
    if (newPassword) {
        e.passwordHash = hashOperatorPassword(*newPassword, hashOps_, hashMem_);
        if (e.passwordHash.isEmpty())
            return fail(QStringLiteral("Не удалось вычислить хэш пароля"));
    } else if (record.keepsHash() && record.hash) {
        e.passwordHash = *record.hash;
    } else if (record.password) {
        e.password = cp1251::decode(*record.password);
    } else {
        return fail(QStringLiteral("Пароль оператора не читается: задайте новый"));
    }
    QString why;
    const QByteArray bytes = encodeOperatorRecord(e, &why);
    if (bytes.isEmpty())
        return fail(why);
    if (index < 0)
        contents_.records << bytes;
    else
        contents_.records[index] = bytes;
    return true;
}

bool TOperatorsAdmin::add(const QString& name, std::uint16_t rights, const QString& password) {
    if (find(name) >= 0)
        return fail(QStringLiteral("Оператор уже есть: ") + name);
    return rewrite(-1, TOperatorFileRecord{}, name, rights, password);
}

bool TOperatorsAdmin::remove(const QString& name) {
    const int k = find(name);
    if (k < 0)
        return fail(QStringLiteral("Оператор не найден: ") + name);
    contents_.records.removeAt(k);
    return true;
}

bool TOperatorsAdmin::setRights(const QString& name, std::uint16_t rights) {
    const int k = find(name);
    if (k < 0)
        return fail(QStringLiteral("Оператор не найден: ") + name);
    return rewrite(k, decodeOperatorRecord(contents_.records[k].constData()), name, rights,
                   std::nullopt);
}

bool TOperatorsAdmin::setPassword(const QString& name, const QString& password) {
    const int k = find(name);
    if (k < 0)
        return fail(QStringLiteral("Оператор не найден: ") + name);
    const TOperatorFileRecord r = decodeOperatorRecord(contents_.records[k].constData());
    return rewrite(k, r, name, r.rights, password);
}

}  // namespace orvel
