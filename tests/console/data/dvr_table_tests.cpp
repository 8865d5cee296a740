#include <gtest/gtest.h>
#include <unistd.h>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include "data/dvr_table.h"
#include "test_support.h"

using namespace orvel;

namespace {

class DvrTableTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path() + "/Users.dbf"; }
    TDVRTable table{path()};

    void createStandard() {
        ASSERT_EQ(table.CreateTable(TDVRTable::standardFieldDefinitions()), 0);
    }
    QStringList row(const QString& id, const QString& name, const QString& phone = "123") {
        return {id, name, phone, "9:00 - 18:00", "2", "comment", "1"};
    }
    // A header declaring `fields` fields of `length` bytes each.
    QByteArray handMadeHeader(int fields, int length, int recordLength) {
        QByteArray h(16, '\0');
        qToLittleEndian<quint16>(quint16(recordLength), h.data() + 8);
        qToLittleEndian<quint16>(quint16(fields), h.data() + 10);
        qToLittleEndian<quint32>(quint32(16 + 24 * fields + 1), h.data() + 12);
        for (int i = 0; i < fields; ++i) {
            QByteArray d(24, '\0');
            const QByteArray name = QByteArray("F") + QByteArray::number(i);
            d.replace(0, 11, name.leftJustified(11, ' '));
            d[11] = 'C';
            qToLittleEndian<quint16>(quint16(length), d.data() + 12);
            qToLittleEndian<quint16>(quint16(length), d.data() + 14);
            h += d;
        }
        h += '\r';
        return h;
    }
};

TEST_F(DvrTableTest, NewStandardTableIsByteExact) {
    createStandard();
    EXPECT_FALSE(table.isOpen());
    const QByteArray f = test::readAll(path());
    ASSERT_EQ(f.size(), 185);
    EXPECT_EQ(f.left(16), QByteArray("\0\0\0\0\0\0\0\0\x9E\0\x07\0\xB9\0\0\0", 16));
    // Descriptor of TLF: name, "C", length 30 twice, no decimals, zeros.
    EXPECT_EQ(f.mid(16 + 2 * 24, 24), QByteArray("TLF        C\x1E\0\x1E\0\0\0\0\0\0\0\0\0", 24));
    EXPECT_EQ(f.mid(16 + 6 * 24, 11), QByteArray("CONFIRMTYPE"));
    EXPECT_EQ(f.at(184), '\r');

    ASSERT_EQ(table.OpenTable(0), 0);
    EXPECT_EQ(table.RecordLength(), 158);
    EXPECT_EQ(table.FirstRecordOffset(), 185);
    EXPECT_EQ(table.FieldCount(), 7);
    EXPECT_EQ(table.Field(1)->Name(), "FIO        ");
    EXPECT_EQ(table.Field(1)->Position(), 12);
    EXPECT_EQ(table.Field(6)->Position(), 156);
    EXPECT_FALSE(table.First());
}

TEST_F(DvrTableTest, RecordsAreStoredByteExactAndReadBack) {
    createStandard();
    ASSERT_EQ(table.OpenTable(0), 0);
    EXPECT_EQ(table.Append(row("2", "Иванов Иван", "84951234567"), 6), 1);
    EXPECT_EQ(table.Append(row("3", QString(45, 'N'), QString(30, '7')), 6), 2);
    const QByteArray f = test::readAll(path());
    ASSERT_EQ(f.size(), 185 + 2 * 158);
    EXPECT_EQ(qFromLittleEndian<quint32>(f.constData()), 2u);
    const QByteArray r0 = f.mid(185, 158);
    EXPECT_EQ(r0.at(0), '\x40');
    EXPECT_EQ(r0.mid(1, 11), QByteArray("2").leftJustified(11, '\0'));
    EXPECT_EQ(r0.mid(12, 40), test::cp("Иванов Иван").leftJustified(40, '\0'));
    // Texts as long as the field have no terminator; longer ones are cut.
    const QByteArray r1 = f.mid(185 + 158, 158);
    EXPECT_EQ(r1.mid(12, 40), QByteArray(40, 'N'));
    EXPECT_EQ(r1.mid(52, 30), QByteArray(30, '7'));

    ASSERT_TRUE(table.First());
    EXPECT_EQ(table.Field(1)->AsString(), "Иванов Иван");
    EXPECT_EQ(table.Field(3)->AsString(), "9:00 - 18:00");
    EXPECT_EQ(table.Field(4)->AsInteger(), 2);
    EXPECT_EQ(table.CurrentRecord(), 1);
    ASSERT_TRUE(table.Next());
    EXPECT_EQ(table.Field(1)->AsString(), QString(40, 'N'));
    EXPECT_EQ(table.Field(2)->AsString(), QString(30, '7'));
    EXPECT_FALSE(table.Next());
}

TEST_F(DvrTableTest, CopyingThroughTheTableGivesAnIdenticalFile) {
    createStandard();
    ASSERT_EQ(table.OpenTable(1), 0);
    for (int i = 0; i < 50; ++i)
        table.Append(row(QString::number(i + 2), QString("Имя %1").arg(i)), 6);
    TDVRTable copy(dir.path() + "/copy.dbf");
    ASSERT_EQ(copy.CreateTable(TDVRTable::standardFieldDefinitions()), 0);
    ASSERT_EQ(copy.OpenTable(1), 0);
    for (bool ok = table.First(); ok; ok = table.Next()) {
        QStringList texts;
        for (int f = 0; f < table.FieldCount(); ++f)
            texts << table.Field(f)->AsString();
        copy.Append(texts, 6);
    }
    copy.CloseTable();
    table.CloseTable();
    EXPECT_EQ(test::readAll(dir.path() + "/copy.dbf"), test::readAll(path()));
}

TEST_F(DvrTableTest, SetAsStringRewritesTheCurrentRecordOnly) {
    createStandard();
    ASSERT_EQ(table.OpenTable(0), 0);
    table.Append(row("2", "A"), 6);
    table.Append(row("3", "B"), 6);
    ASSERT_TRUE(table.GoTo(0));
    ASSERT_TRUE(table.Field(5)->SetAsString("новый"));
    ASSERT_TRUE(table.Field(1)->SetAsString("Aa"));
    table.CloseTable();
    ASSERT_EQ(table.OpenTable(0), 0);
    ASSERT_TRUE(table.First());
    EXPECT_EQ(table.Field(1)->AsString(), "Aa");
    EXPECT_EQ(table.Field(5)->AsString(), "новый");
    ASSERT_TRUE(table.Next());
    EXPECT_EQ(table.Field(1)->AsString(), "B");
    EXPECT_EQ(table.Field(5)->AsString(), "comment");
}

TEST_F(DvrTableTest, DeletedRecordsStayInTheFileButAreSkipped) {
    createStandard();
    ASSERT_EQ(table.OpenTable(0), 0);
    for (const char* n : {"A", "B", "C"})
        table.Append(row("2", n), 6);
    ASSERT_TRUE(table.GoTo(1));
    EXPECT_NE(table.DeleteCurrent(), 0);
    const QByteArray f = test::readAll(path());
    EXPECT_EQ(f.at(185 + 158), '*');
    EXPECT_EQ(qFromLittleEndian<quint32>(f.constData() + 4), 1u);
    EXPECT_EQ(qFromLittleEndian<quint32>(f.constData()), 3u);

    QStringList seen;
    for (bool ok = table.First(); ok; ok = table.Next())
        seen << table.Field(1)->AsString();
    EXPECT_EQ(seen, QStringList({"A", "C"}));
    EXPECT_EQ(table.LastError(), kDvrErrNone);
    ASSERT_TRUE(table.GoTo(1));
    EXPECT_EQ(table.Field(1)->AsString(), "B");
    EXPECT_EQ(table.currentStatus(), kDvrDeleted);
    table.setIncludeDeleted(true);
    seen.clear();
    for (bool ok = table.First(); ok; ok = table.Next())
        seen << table.Field(1)->AsString();
    EXPECT_EQ(seen.size(), 3);
}

TEST_F(DvrTableTest, ScrambledRecordsAreXoredAndUnreadableWhenOpenedPlain) {
    createStandard();
    ASSERT_EQ(table.OpenTable(1), 0);
    table.Append(row("2", "A"), 6);
    table.Append(row("3", "B"), 6);
    table.CloseTable();
    const QByteArray f = test::readAll(path());
    EXPECT_EQ(uchar(f.at(185)), 0x40 ^ 0x3D);
    EXPECT_EQ(uchar(f.at(186)), uchar('2') ^ 0x3D);
    EXPECT_EQ(uchar(f.at(187)), 0x3D);  // zero padding scrambled too
    EXPECT_EQ(f.at(8), '\x9E');         // header never scrambled

    int errors = 0;
    table.onError = [&](TDVRTable& t) {
        ++errors;
        EXPECT_EQ(t.LastError(), kDvrErrFirstRecord);
    };
    ASSERT_EQ(table.OpenTable(0), 0);
    EXPECT_FALSE(table.First());
    EXPECT_EQ(errors, 1);  // raised once per call
    ASSERT_EQ(table.OpenTable(1), 0);
    ASSERT_TRUE(table.First());
    EXPECT_EQ(table.Field(1)->AsString(), "A");
}

TEST_F(DvrTableTest, UnreadableRecordsAreSkippedWithTheirOwnCodes) {
    createStandard();
    ASSERT_EQ(table.OpenTable(0), 0);
    for (const char* n : {"A", "B", "C", "D"})
        table.Append(row("2", n), 6);
    table.CloseTable();
    QByteArray f = test::readAll(path());
    f[185 + 158] = 'Z';      // record 1
    f[185 + 2 * 158] = 'Z';  // record 2
    ASSERT_TRUE(test::writeAll(path(), f));
    QList<uint8_t> codes;
    table.onError = [&](TDVRTable& t) { codes << t.LastError(); };
    ASSERT_EQ(table.OpenTable(0), 0);
    ASSERT_TRUE(table.First());
    EXPECT_TRUE(codes.isEmpty());
    ASSERT_TRUE(table.Next());  // two bad records skipped, reported once
    EXPECT_EQ(table.Field(1)->AsString(), "D");
    EXPECT_EQ(table.CurrentRecord(), 4);
    EXPECT_EQ(codes, QList<uint8_t>({kDvrErrNextRecord}));
}

TEST_F(DvrTableTest, HeaderLimitsAreTwentyTwoFieldsAnd10240Bytes) {
    struct Case {
        int fields, length, recordLength;
        bool ok;
    };
    for (const Case c :
         {Case{22, 10, 221, true}, Case{23, 10, 231, false}, Case{2, 5000, 10240, true},
          Case{2, 5000, 10241, false}, Case{0, 10, 1, false}, Case{3, 10, 20, false}}) {
        ASSERT_TRUE(test::writeAll(path(), handMadeHeader(c.fields, c.length, c.recordLength)));
        TDVRTable t(path());
        uint8_t code = 0;
        t.onError = [&](TDVRTable& x) { code = x.LastError(); };
        EXPECT_EQ(t.OpenTable(0), c.ok ? 0 : -1) << c.fields << " " << c.recordLength;
        EXPECT_EQ(code, c.ok ? kDvrErrNone : kDvrErrHeader);
        EXPECT_EQ(t.isOpen(), c.ok);
    }
}

TEST_F(DvrTableTest, TruncatedOrMissingFilesAreRefusedQuietly) {
    EXPECT_EQ(table.OpenTable(0), -1);  // missing
    EXPECT_FALSE(table.First());
    EXPECT_EQ(table.Append(row("2", "x"), 6), -1);
    ASSERT_TRUE(test::writeAll(path(), handMadeHeader(7, 10, 71).left(40)));
    EXPECT_EQ(table.OpenTable(0), -1);
    EXPECT_EQ(table.LastError(), kDvrErrHeader);
}

TEST_F(DvrTableTest, PartialTrailingRecordIsNotReturned) {
    createStandard();
    ASSERT_EQ(table.OpenTable(0), 0);
    table.Append(row("2", "A"), 6);
    table.CloseTable();
    QFile f(path());
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(QByteArray(100, '\x40'));
    f.close();
    ASSERT_EQ(table.OpenTable(0), 0);
    ASSERT_TRUE(table.First());
    EXPECT_FALSE(table.Next());
    // The next record replaces the fragment and lands on a record boundary.
    EXPECT_EQ(table.Append(row("3", "B"), 6), 2);
    EXPECT_EQ(QFile(path()).size(), 185 + 2 * 158);
    ASSERT_TRUE(table.First());
    ASSERT_TRUE(table.Next());
    EXPECT_EQ(table.Field(1)->AsString(), "B");
}

TEST_F(DvrTableTest, GoToBeyondTheEndNeverGrowsTheFile) {
    createStandard();
    ASSERT_EQ(table.OpenTable(0), 0);
    table.Append(row("2", "A"), 6);
    EXPECT_TRUE(table.GoTo(-1));
    ASSERT_TRUE(table.GoTo(5));
    EXPECT_EQ(table.Field(1)->AsString(), QString(40, ' '));
    EXPECT_FALSE(table.Field(1)->SetAsString("ghost"));
    EXPECT_EQ(table.DeleteCurrent(), 0);
    EXPECT_EQ(QFile(path()).size(), 185 + 158);
}

TEST_F(DvrTableTest, ReadOnlyFileOpensWithCode8AndRefusesWrites) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    createStandard();
    ASSERT_TRUE(QFile::setPermissions(path(), QFile::ReadOwner));
    ASSERT_EQ(table.OpenTable(0), 0);
    EXPECT_EQ(table.LastError(), kDvrErrReadOnly);
    EXPECT_EQ(table.Append(row("2", "A"), 6), -1);
}

TEST_F(DvrTableTest, DefinitionsAreValidated) {
    EXPECT_EQ(TDVRTable::additionalFieldDefinition("ADT_FLD6", 10), "ADT_FLD6   ;C;05;010;0");
    EXPECT_EQ(table.CreateTable({"ID         ;C;05;0x1;0"}), -1);
    EXPECT_EQ(table.CreateTable({"short"}), -1);
    QStringList many;
    for (int i = 0; i < 23; ++i)
        many << TDVRTable::additionalFieldDefinition(QString("F%1").arg(i), 4);
    EXPECT_EQ(table.CreateTable(many), -1);
    many.removeLast();
    EXPECT_EQ(table.CreateTable(many), 0);
    EXPECT_EQ(QFile(path()).size(), 16 + 22 * 24 + 1);
}

}  // namespace
