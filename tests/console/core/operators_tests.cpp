// The operators file: the field cipher, the reader's refusals of damaged
// records, CheckOperator with its log entries and the login loops over it,
// and the file the operators tool writes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstring>
#include <deque>

#include "core/cp1251.h"
#include "core/operator_check.h"
#include "core/operators_admin.h"
#include "core/operators_file.h"
#include "core/texts.h"
#include "notify/demo_setup.h"
#include "test_support.h"
#include "util/decrypt.h"

using namespace orvel;

namespace {

// Cheap hashes: the tests write many of them.
QByteArray quickHash(const QString& password) {
    return hashOperatorPassword(password, 1, 8192);
}

QByteArray legacyRecord(const QString& name, const QString& password, std::uint16_t rights,
                        std::uint16_t v1 = 0, std::uint16_t v2 = 0) {
    TOperatorEntry e;
    e.name = name;
    e.password = password;
    e.rights = rights;
    e.value1 = v1;
    e.value2 = v2;
    const QByteArray r = encodeOperatorRecord(e);
    EXPECT_EQ(r.size(), kOperatorRecordSize);
    return r;
}

QByteArray hashedRecord(const QString& name, const QString& password, std::uint16_t rights) {
    TOperatorEntry e;
    e.name = name;
    e.rights = rights;
    e.passwordHash = quickHash(password);
    EXPECT_FALSE(e.passwordHash.isEmpty());
    return encodeOperatorRecord(e);
}

TOperatorCheckResult check(const QByteArray& file, const QString& name, const QString& password) {
    QByteArray bytes = file;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    return checkOperatorRecords(in, {name, password});
}

// Re-enciphers one field of a record after `edit` changed its plain bytes.
QByteArray editField(QByteArray record, int offset, int size,
                     const std::function<void(char*)>& edit) {
    char* f = record.data() + offset;
    util::Decrypt(f, size, util::kDecipher);
    edit(f);
    util::Encrypt(f, size);
    return record;
}

TEST(FieldCipher, RoundTripsEveryFieldSizeAndHidesTheText) {
    for (int size : {2, 20, 150}) {
        QByteArray plain(size, '\0');
        for (int i = 0; i < size; ++i)
            plain[i] = char(i * 7 + 1);
        QByteArray buf = plain;
        ASSERT_EQ(util::Encrypt(buf.data(), size), 0);
        EXPECT_NE(buf, plain);
        ASSERT_EQ(util::Decrypt(buf.data(), size, util::kDecipher), 0);
        EXPECT_EQ(buf, plain) << size;
    }
    // The same text in fields of other sizes looks different on disk.
    char a[20] = "Оператор", b[20] = "Оператор";
    util::Encrypt(a, 19);
    util::Encrypt(b, 20);
    EXPECT_NE(std::memcmp(a, b, 8), 0);
    char x[4] = "abc";
    EXPECT_EQ(util::Decrypt(nullptr, 4, 1), -1);
    EXPECT_EQ(util::Decrypt(x, -1, 1), -1);
    EXPECT_EQ(util::Decrypt(x, 3, 7), -1);
    EXPECT_STREQ(x, "abc");
}

TEST(OperatorsFile, RecordKeepsEveryFieldAndRefusesWhatDoesNotFit) {
    const QByteArray r = legacyRecord("Иванов", "пароль", 0x011, 7, 0xBEEF);
    const TOperatorFileRecord d = decodeOperatorRecord(r.constData());
    EXPECT_EQ(d.rights, 0x011);
    EXPECT_EQ(cp1251::decode(*d.name), "Иванов");
    EXPECT_EQ(cp1251::decode(*d.password), "пароль");
    EXPECT_FALSE(d.keepsHash());
    EXPECT_EQ(d.value1, 7);
    EXPECT_EQ(d.value2, 0xBEEF);
    // Nothing is stored in plain text.
    EXPECT_FALSE(r.contains(test::cp("Иванов")));

    QString error;
    TOperatorEntry e;
    e.name = QString(20, 'x');  // one more than the field holds with its zero
    EXPECT_TRUE(encodeOperatorRecord(e, &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    e.name = "汉字";  // not in the code page
    EXPECT_TRUE(encodeOperatorRecord(e).isEmpty());
    e.name = "";
    EXPECT_TRUE(encodeOperatorRecord(e).isEmpty());
    e.name = QString(19, 'x');
    EXPECT_EQ(encodeOperatorRecord(e).size(), kOperatorRecordSize);
}

TEST(OperatorsFile, FirstRecordOfANameDecidesAndLetterCaseCounts) {
    const QByteArray file = legacyRecord("Петров", "1", 0x008) + legacyRecord("Петров", "2", 0x3FD);
    // The second record's password is never tried.
    auto r = check(file, "Петров", "2");
    EXPECT_TRUE(r.operatorFound);
    EXPECT_FALSE(r.passwordCorrect);
    r = check(file, "Петров", "1");
    ASSERT_TRUE(r.passwordCorrect);
    EXPECT_EQ(r.record.rights, 0x008);
    r = check(file, "петров", "1");
    EXPECT_FALSE(r.operatorFound);
    r = check(legacyRecord("Петров", "Ab", 1), "Петров", "ab");
    EXPECT_TRUE(r.operatorFound);
    EXPECT_FALSE(r.passwordCorrect);
}

TEST(OperatorsFile, DamagedFilesAreRefusedWithoutReadingBeyondAField) {
    const QByteArray good = legacyRecord("Сидоров", "1", 1);
    EXPECT_FALSE(check({}, "Сидоров", "1").operatorFound);
    // A partial record at the end ends the reading.
    EXPECT_FALSE(check(good.left(kOperatorRecordSize - 1), "Сидоров", "1").operatorFound);
    EXPECT_TRUE(check(good + good.left(100), "Сидоров", "1").passwordCorrect);
    EXPECT_FALSE(check(QByteArray(3, 'x') + good, "Сидоров", "1").operatorFound);
    // A name without its zero never matches, even when its first bytes do.
    const QByteArray longName = editField(good, kOperatorNameOffset, kOperatorNameSize,
                                          [](char* f) { std::memset(f + 7, 'x', 13); });
    EXPECT_FALSE(check(longName, "Сидоров", "1").operatorFound);
    EXPECT_FALSE(check(longName, "Сидоров" + QString(13, 'x'), "1").operatorFound);
    // A password field without its zero: found, refused.
    const QByteArray longPassword = editField(good, kOperatorPasswordOffset, kOperatorPasswordSize,
                                              [](char* f) { std::memset(f, '1', 20); });
    auto r = check(longPassword, "Сидоров", QString(20, '1'));
    EXPECT_TRUE(r.operatorFound);
    EXPECT_FALSE(r.passwordCorrect);
    // An empty name is nobody's.
    QByteArray zero(kOperatorRecordSize, '\0');
    for (int offset : {kOperatorNameOffset, kOperatorPasswordOffset})
        util::Encrypt(zero.data() + offset, 20);
    EXPECT_FALSE(check(zero, "", "").operatorFound);
}

TEST(OperatorsFile, HashedRecordsLogInOnlyWithTheirPassword) {
    const QByteArray file = hashedRecord("Кузнецова", "верный пароль", 0x3FD);
    EXPECT_TRUE(decodeOperatorRecord(file.constData()).keepsHash());
    EXPECT_TRUE(check(file, "Кузнецова", "верный пароль").passwordCorrect);
    auto r = check(file, "Кузнецова", "неверный");
    EXPECT_TRUE(r.operatorFound);
    EXPECT_FALSE(r.passwordCorrect);
    // Typing the marker itself is no way in.
    EXPECT_FALSE(check(file, "Кузнецова", kPasswordHashMarker).passwordCorrect);

    const auto withHash = [&](const QByteArray& hash) {
        QByteArray bad = file;
        std::memset(bad.data() + kOperatorHashOffset, 0, kOperatorHashSize);
        std::memcpy(bad.data() + kOperatorHashOffset, hash.constData(),
                    size_t(qMin<qsizetype>(hash.size(), kOperatorHashSize)));
        return check(bad, "Кузнецова", "верный пароль");
    };
    const QByteArray hash = quickHash("верный пароль");
    EXPECT_TRUE(withHash(hash).passwordCorrect);
    EXPECT_FALSE(withHash(hash.left(hash.size() - 5)).passwordCorrect);          // cut
    EXPECT_FALSE(withHash(QByteArray(kOperatorHashSize, '$')).passwordCorrect);  // no zero
    EXPECT_FALSE(withHash("$argon2id$v=19$m=,t=1,p=1$").passwordCorrect);
    // A forged hash demanding 4 GiB is refused before libsodium sees it.
    QByteArray greedy = hash;
    greedy.replace("m=8,", "m=4194304,");
    ASSERT_NE(greedy, hash);
    EXPECT_FALSE(withHash(greedy).passwordCorrect);
    EXPECT_FALSE(verifyOperatorPassword(greedy, "верный пароль"));
}

TEST(OperatorsFile, ToolRecordsHoldNoPasswordInAnyReversibleForm) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/ORVELUsers.dat";
    const QString password = "Секрет2024";
    TOperatorsAdmin admin(path);
    admin.setHashCosts(1, 8192);
    ASSERT_TRUE(admin.load());
    ASSERT_TRUE(admin.add("Оператор", kAllRightsBits, password)) << admin.error().toStdString();
    ASSERT_TRUE(admin.add("Гость", 0x008, "другой")) << admin.error().toStdString();
    ASSERT_TRUE(admin.save()) << admin.error().toStdString();

    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const QByteArray bytes = test::readAll(path);
    ASSERT_EQ(bytes.size(), 2 * kOperatorRecordSize);
    EXPECT_FALSE(bytes.contains(password.toUtf8()));
    EXPECT_FALSE(bytes.contains(test::cp(password)));
    // The form a legacy record would give the password.
    QByteArray enciphered = test::cp(password);
    enciphered.resize(kOperatorPasswordSize, '\0');
    util::Encrypt(enciphered.data(), kOperatorPasswordSize);
    EXPECT_FALSE(bytes.contains(enciphered.left(8)));

    EXPECT_TRUE(checkOperatorFile(path, {"Оператор", password}).passwordCorrect);
    EXPECT_FALSE(checkOperatorFile(path, {"Оператор", "секрет2024"}).passwordCorrect);
    EXPECT_TRUE(checkOperatorFile(path, {"Гость", "другой"}).passwordCorrect);
}

TEST(OperatorsFile, ToolEditsKeepOtherRecordsByteForByte) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/ORVELUsers.dat";
    QByteArray unreadable = legacyRecord("Старый", "1", 1);
    unreadable = editField(unreadable, kOperatorNameOffset, kOperatorNameSize,
                           [](char* f) { std::memset(f, 'z', 20); });
    const QByteArray legacy = legacyRecord("Старый", "пароль", 0x008, 3, 4);
    ASSERT_TRUE(test::writeAll(path, unreadable + legacy + QByteArray(50, 'x')));

    TOperatorsAdmin admin(path);
    admin.setHashCosts(1, 8192);
    ASSERT_TRUE(admin.load());
    EXPECT_TRUE(admin.droppedTail());
    ASSERT_EQ(admin.rows().size(), 2);
    EXPECT_FALSE(admin.rows()[0].readable);
    EXPECT_FALSE(admin.add("Старый", 0, "x"));  // names stay unique
    EXPECT_FALSE(admin.remove("Никто"));
    ASSERT_TRUE(admin.setRights("Старый", 0x018));
    ASSERT_TRUE(admin.save());
    QByteArray bytes = test::readAll(path);
    ASSERT_EQ(bytes.size(), 2 * kOperatorRecordSize);
    EXPECT_EQ(bytes.left(kOperatorRecordSize), unreadable);
    // A rights change keeps the legacy password and the kept values.
    auto r = checkOperatorFile(path, {"Старый", "пароль"});
    ASSERT_TRUE(r.passwordCorrect);
    EXPECT_EQ(r.record.rights, 0x018);
    EXPECT_EQ(r.record.value1, 3);
    EXPECT_EQ(r.record.value2, 4);
    // A new password turns the record into a hashed one.
    ASSERT_TRUE(admin.setPassword("Старый", "новый"));
    ASSERT_TRUE(admin.save());
    r = checkOperatorFile(path, {"Старый", "новый"});
    ASSERT_TRUE(r.passwordCorrect);
    EXPECT_TRUE(r.record.keepsHash());
    EXPECT_FALSE(checkOperatorFile(path, {"Старый", "пароль"}).passwordCorrect);
    ASSERT_TRUE(admin.remove("Старый"));
    ASSERT_TRUE(admin.save());
    EXPECT_EQ(test::readAll(path), unreadable);
}

TEST(OperatorsFile, RightsWords) {
    EXPECT_EQ(parseRightsList("admin,base"), 0x011);
    EXPECT_EQ(parseRightsList(" start , reports "), 0x048);
    EXPECT_EQ(parseRightsList("all"), kAllRightsBits);
    EXPECT_EQ(parseRightsList("none"), 0);
    EXPECT_EQ(parseRightsList("0x3FF"), kAllRightsBits);  // bit 0x002 means nothing
    EXPECT_FALSE(parseRightsList("admin,root").has_value());
    EXPECT_EQ(rightsNames(0x011),
              (QStringList{"Права администратора", "Изменение базы абонентов"}));
}

// CheckOperator as the program uses it: hooks record what the user and the
// system log would see.
class OperatorCheckTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path;
    QStringList readErrors, log, accepted;
    TOperatorRights rights;
    std::unique_ptr<TOperatorCheck> checker;

    void SetUp() override {
        resetTexts();
        path = dir.path() + "/ORVELUsers.dat";
        checker = std::make_unique<TOperatorCheck>(path);
        checker->showReadError = [this](const QString& t) { readErrors << t; };
        checker->writeLog = [this](const QString& t, int level) {
            log << QString("%1 %2 %3").arg(level).arg(rights.operatorName(), t);
        };
        checker->onAccepted = [this](const TCurrentOperator& op) {
            accepted << op.name;
            rights.set(op.name, op.rightsBits());
        };
    }
    void writeFile(const QByteArray& bytes) { ASSERT_TRUE(test::writeAll(path, bytes)); }
};

TEST_F(OperatorCheckTest, SuccessFillsTheOperatorAndLogsUnderHisName) {
    writeFile(legacyRecord("Оператор", "1", 0x3FD) + legacyRecord("Смирнов", "2", 0x011, 5, 6));
    EXPECT_EQ(checker->check({"Смирнов", "2"}), LoginResult::Accepted);
    ASSERT_TRUE(checker->current().has_value());
    const TCurrentOperator& op = *checker->current();
    EXPECT_EQ(op.name, "Смирнов");
    EXPECT_TRUE(op.administrator);
    EXPECT_TRUE(op.changeBase);
    EXPECT_FALSE(op.startNotification);
    EXPECT_FALSE(op.changeNotifyParams);
    EXPECT_EQ(op.value1, 5);
    EXPECT_EQ(op.value2, 6);
    EXPECT_EQ(op.rightsBits(), 0x011);
    // The rights that windows ask: structure editor and record commands, no start.
    EXPECT_TRUE(rights.has(OperatorRight::Administrator));
    EXPECT_TRUE(rights.has(OperatorRight::ChangeBase));
    EXPECT_FALSE(rights.has(OperatorRight::StartNotification));
    EXPECT_EQ(log, QStringList{"1 Смирнов Доступ разрешён"});
    EXPECT_TRUE(readErrors.isEmpty());
}

TEST_F(OperatorCheckTest, MissingFileIsReportedAndTheLoginLoopAsksAgain) {
    std::deque<Credentials> typed = {{"Оператор", "1"}, {"Оператор", "1"}};
    int asked = 0;
    QList<LoginResult> refusals;
    LoginHooks h;
    h.readAutoLogin = [] { return QString("Vacant"); };
    h.askCredentials = [&]() -> std::optional<Credentials> {
        ++asked;
        if (asked == 2)
            writeFile(legacyRecord("Оператор", "1", 0x3FD));  // the administrator made it
        if (typed.empty())
            return std::nullopt;
        auto c = typed.front();
        typed.pop_front();
        return c;
    };
    h.showRefusal = [&](LoginResult r) { refusals << r; };
    const auto who = runLoginLoop(*checker, h);
    ASSERT_TRUE(who.has_value());
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(refusals, QList<LoginResult>{LoginResult::UnknownOperator});
    ASSERT_EQ(readErrors.size(), 1);
    EXPECT_EQ(readErrors[0], "Ошибка чтения файла с паролями! \n" + path);
    EXPECT_EQ(log, (QStringList{"2  В доступе отказано", "1 Оператор Доступ разрешён"}));
}

TEST_F(OperatorCheckTest, OversizedFileIsRefusedAsUnreadable) {
    writeFile(legacyRecord("Оператор", "1", 0x3FD) + QByteArray(kMaxOperatorsFileSize, '\0'));
    EXPECT_EQ(checker->check({"Оператор", "1"}), LoginResult::UnknownOperator);
    EXPECT_EQ(readErrors.size(), 1);
    // A device in the file's place is no file: refused, not read for ever.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link("/dev/zero", path));
    EXPECT_EQ(checker->check({"Оператор", "1"}), LoginResult::UnknownOperator);
    EXPECT_EQ(readErrors.size(), 2);
    TOperatorsAdmin admin(path);
    EXPECT_FALSE(admin.load());
    QFile zero("/dev/zero");
    ASSERT_TRUE(zero.open(QIODevice::ReadOnly));
    EXPECT_FALSE(checkOperatorRecords(zero, {"Оператор", "1"}).operatorFound);
}

TEST_F(OperatorCheckTest, FailedOrCancelledReloginKeepsTheOperatorAndHisRights) {
    writeFile(legacyRecord("Оператор", "1", 0x3FD) + legacyRecord("Гость", "2", 0x008));
    ASSERT_EQ(checker->check({"Оператор", "1"}), LoginResult::Accepted);
    int changes = 0;
    QObject::connect(&rights, &TOperatorRights::changed, [&] { ++changes; });

    std::deque<Credentials> typed = {{"Никто", ""}, {"Гость", "неверно"}};
    QStringList shown;
    ReloginHooks h;
    h.askCredentials = [&]() -> std::optional<Credentials> {
        if (typed.empty())
            return std::nullopt;  // "Отменить"
        auto c = typed.front();
        typed.pop_front();
        return c;
    };
    h.showRefusal = [&](LoginResult r) { shown << reloginRefusalText(r); };
    EXPECT_FALSE(runRelogin(*checker, h));
    EXPECT_EQ(shown,
              (QStringList{"Указанный пользователь не найден!\nУровень доступа остаётся прежним!",
                           "Неверный пароль!\nУровень доступа остаётся прежним!"}));
    EXPECT_EQ(checker->current()->name, "Оператор");
    EXPECT_EQ(rights.operatorName(), "Оператор");
    EXPECT_EQ(rights.bits(), 0x3FD);
    EXPECT_EQ(changes, 0);

    typed = {{"Гость", "2"}};
    EXPECT_TRUE(runRelogin(*checker, h));
    EXPECT_EQ(rights.operatorName(), "Гость");
    EXPECT_EQ(rights.bits(), 0x008);
    EXPECT_EQ(changes, 1);
}

TEST(DemoDirectory, DemoOperatorHasEveryRightAndIsAddedOnce) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/ORVELUsers.dat";
    // An operator the site already keeps stays first and untouched.
    ASSERT_TRUE(test::writeAll(path, legacyRecord("Дежурный", "1", 0x008)));
    QString error;
    ASSERT_TRUE(prepareDemoDirectory(dir.path(), &error)) << error.toStdString();
    ASSERT_TRUE(prepareDemoDirectory(dir.path(), &error)) << error.toStdString();
    EXPECT_EQ(QFileInfo(path).size(), 2 * kOperatorRecordSize);
    const auto r = checkOperatorFile(path, {kDemoOperator, kDemoOperatorPassword});
    ASSERT_TRUE(r.passwordCorrect);
    EXPECT_TRUE(r.record.keepsHash());
    EXPECT_EQ(r.record.rights, kAllRightsBits);
    EXPECT_TRUE(checkOperatorFile(path, {"Дежурный", "1"}).passwordCorrect);
}

#ifdef ORVEL_OPERATORS_TOOL_PATH
// The tool as an administrator uses it, the password piped in.
TEST(OperatorsTool, AddListRightsPasswdRemove) {
    QTemporaryDir dir;
    const auto run = [&](const QStringList& args, const QByteArray& input = {}) {
        QProcess p;
        p.start(ORVEL_OPERATORS_TOOL_PATH, QStringList{"--dir", dir.path()} + args);
        p.write(input);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000));
        return std::make_pair(
            p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()));
    };
    const QString path = dir.path() + "/ORVELUsers.dat";
    EXPECT_EQ(run({"add", "Оператор", "--rights", "all"}, "пароль\n").first, 0);
    EXPECT_EQ(run({"add", "Гость", "--rights", "start,reports"}, "гость\n").first, 0);
    EXPECT_EQ(run({"add", "Пустой"}, "\n").first, 1);  // an empty password must be asked for
    EXPECT_EQ(run({"add", "Автомат", "--empty-password"}).first, 0);
    EXPECT_EQ(run({"add", "X", "--rights", "root"}, "1\n").first, 2);
    EXPECT_EQ(run({"rights", "Гость", "admin,base"}).first, 0);
    const auto [code, listing] = run({"list"});
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(listing.contains("1. Оператор")) << listing.toStdString();
    EXPECT_TRUE(listing.contains("2. Гость\n    Права администратора, Изменение базы абонентов"))
        << listing.toStdString();
    EXPECT_FALSE(test::readAll(path).contains(QByteArray("пароль")));
    EXPECT_TRUE(checkOperatorFile(path, {"Оператор", "пароль"}).passwordCorrect);
    EXPECT_TRUE(checkOperatorFile(path, {"Автомат", ""}).passwordCorrect);
    EXPECT_EQ(run({"passwd", "Оператор"}, "новый\n").first, 0);
    EXPECT_FALSE(checkOperatorFile(path, {"Оператор", "пароль"}).passwordCorrect);
    EXPECT_TRUE(checkOperatorFile(path, {"Оператор", "новый"}).passwordCorrect);
    EXPECT_EQ(run({"remove", "Гость"}).first, 0);
    EXPECT_FALSE(checkOperatorFile(path, {"Гость", "гость"}).operatorFound);
    EXPECT_EQ(run({"remove", "Гость"}).first, 1);
    EXPECT_EQ(QFileInfo(path).size(), 2 * kOperatorRecordSize);
}
#endif

}  // namespace
