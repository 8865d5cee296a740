#include "test_support.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <memory>

#include "core/cp1251.h"

namespace orvel::test {
namespace {

class ConfigDirEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(dir_->isValid());
        qputenv("ORVEL_CONFIG_DIR", dir_->path().toLocal8Bit());
    }
    void TearDown() override { dir_.reset(); }

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

[[maybe_unused]] ::testing::Environment* const kEnv =
    ::testing::AddGlobalTestEnvironment(new ConfigDirEnvironment);

}  // namespace

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

bool copyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString dst = to + src.mid(from.size());
        QDir().mkpath(QFileInfo(dst).path());
        if (!QFile::copy(src, dst))
            return false;
    }
    return true;
}

QByteArray cp(const QString& text) {
    return cp1251::encode(text);
}

QString shippedDataDir() {
    return QStringLiteral(ORVEL_SOURCE_DATA_DIR);
}

}  // namespace orvel::test
