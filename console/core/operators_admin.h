#pragma once
// Keeping the operators file: the edits the operators tool makes, on the
// file's records as stored. Records the edit does not touch (also records
// this program cannot read) are written back byte for byte.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "core/operators_file.h"

namespace orvel {

// "admin,start,base" -> bits. Words: admin, interface, start, base, lines,
// reports, groups, params, export, all, none; or a number (0x1F, 31).
// nullopt for an unknown word.
std::optional<std::uint16_t> parseRightsList(const QString& text);
// The rights' texts, in the order of the window "Текущий пользователь".
QStringList rightsNames(std::uint16_t bits);

class TOperatorsAdmin {
public:
    explicit TOperatorsAdmin(QString path) : path_(std::move(path)) {}

    bool load();
    bool save();
    const QString& error() const { return error_; }
    bool droppedTail() const { return contents_.droppedTail; }

    struct Row {
        QString name;  // empty when the record cannot be read
        std::uint16_t rights = 0;
        bool hashed = false;
        bool readable = false;
    };
    QList<Row> rows() const;

    // Each returns false with error() set; nothing is changed then.
    bool add(const QString& name, std::uint16_t rights, const QString& password);
    bool remove(const QString& name);
    bool setRights(const QString& name, std::uint16_t rights);
    bool setPassword(const QString& name, const QString& password);

    // Hash costs, for tests that write many records (0: the defaults).
    void setHashCosts(unsigned long long ops, std::size_t mem) {
        hashOps_ = ops;
        hashMem_ = mem;
    }

private:
    int find(const QString& name) const;
    bool fail(const QString& why);
    bool rewrite(int index, const TOperatorFileRecord& record, const QString& name,
                 std::uint16_t rights, const std::optional<QString>& newPassword);

    QString path_;
    TOperatorsFileContents contents_;
    QString error_;
    unsigned long long hashOps_ = 0;
    std::size_t hashMem_ = 0;
};

}  // namespace orvel
