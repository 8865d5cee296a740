#include "ui/info_windows.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/texts.h"
#include "notify/line_library.h"
#include "ui/version_history.h"

namespace orvel {
namespace {

constexpr int kUnitsPerBoard = 3;
constexpr int kWordsPerBoard = 21;

QString versionText(uint32_t word) {
    return QStringLiteral("%1.%2").arg(word & 0xFFFF).arg(word >> 16);
}

QString volts(uint32_t raw, double divisor) {
    return QString::number(double(raw & 0xFF) / divisor, 'f', 2);
}

QLabel* value(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

}  // namespace

THardwareInfo::THardwareInfo(ILineLibrary* library, const QStringList& unservedLines,
                             QWidget* parent)
    : QDialog(parent), library_(library), unserved_(unservedLines) {
    setObjectName(QStringLiteral("HardwareInfo"));
    setWindowTitle(T(textDevicesInfo));
    auto* layout = new QVBoxLayout(this);
    boards_ = new QVBoxLayout;
    layout->addLayout(boards_);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    layout->addLayout(row);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void THardwareInfo::showEvent(QShowEvent* event) {
    if (!filled_)
        fill();
    QDialog::showEvent(event);
}

void THardwareInfo::fill() {
    filled_ = true;
    ProgramStateRecord record{};
    if (library_)
        library_->GetProgrammState(record);
    const int boards = int(qMin<uint32_t>(record[0], uint32_t(kMaxBoards)));
    auto* row = new QHBoxLayout;
    boards_->addLayout(row);
    if (boards == 0)
        row->addWidget(new QLabel(T(textDeviceNotFound), this));
    for (int d = 0; d < boards; ++d) {
        const int base = 2 + kWordsPerBoard * d;
        auto* panel = new QGroupBox(T(textDevice) + QStringLiteral(" %1").arg(d + 1), this);
        auto* grid = new QGridLayout(panel);
        const int units = int(qMin<uint32_t>(record[size_t(base + 2)], kUnitsPerBoard));
        grid->addWidget(new QLabel(QStringLiteral("Версия:"), panel), 0, 0);
        grid->addWidget(value(versionText(record[size_t(base)]), panel), 0, 1);
        grid->addWidget(new QLabel(QStringLiteral("Всего каналов:"), panel), 1, 0);
        grid->addWidget(value(QString::number(record[size_t(base + 1)]), panel), 1, 1);
        grid->addWidget(new QLabel(QStringLiteral("Согласователей:"), panel), 2, 0);
        grid->addWidget(value(QString::number(units), panel), 2, 1);
        for (int u = 0; u < kUnitsPerBoard; ++u) {
            auto* unit = new QGroupBox(QStringLiteral("Согласователь %1").arg(u + 1), panel);
            unit->setEnabled(u < units);  // absent units are drawn grey
            auto* g = new QGridLayout(unit);
            const size_t w = size_t(base + 3 + 6 * u);
            const bool present = u < units;
            const QStringList names = {QStringLiteral("S/N:"),   QStringLiteral("Версия:"),
                                       QStringLiteral("АЦП:"),   QStringLiteral("Согл.:"),
                                       QStringLiteral("5V:"),    QStringLiteral("12V:")};
            const QStringList values =
                present ? QStringList{QString::number(record[w + 5]), versionText(record[w + 4]),
                                      converterStateText(record[w]), unitStateText(record[w + 1]),
                                      volts(record[w + 2], 25.5), volts(record[w + 3], 17.75)}
                        : QStringList{QString(), QString(), QString(),
                                      QString(), QString(), QString()};
            for (int k = 0; k < names.size(); ++k) {
                g->addWidget(new QLabel(names[k], unit), k, 0);
                g->addWidget(value(values[k], unit), k, 1);
            }
            grid->addWidget(unit, 3 + u, 0, 1, 2);
        }
        row->addWidget(panel);
    }
    if (!unserved_.isEmpty()) {
        QStringList texts;
        for (const QString& l : unserved_)
            texts << unservedLineText(l);
        auto* note = new QLabel(T(textUnservedLines) + QStringLiteral(": ") +
                                    texts.join(QStringLiteral("; ")) + QLatin1Char('.'),
                                this);
        note->setObjectName(QStringLiteral("UnservedLines"));
        note->setWordWrap(true);
        boards_->addWidget(note);
    }
}

QString programVersion() {
#ifdef ORVEL_VERSION
    return QStringLiteral(ORVEL_VERSION);
#else
    return QStringLiteral("1.0");
#endif
}

TAboutBox::TAboutBox(const QString& productName, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(T(textAbout));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(T(textAlarmSystem) + QLatin1Char(' ') + productName, this);
    QFont f = name->font();
    f.setPointSize(f.pointSize() + 4);
    f.setBold(true);
    name->setFont(f);
    layout->addWidget(name);
    // A click on the version shows the version history.
    auto* version = new QLabel(QStringLiteral("<a href=\"history\">") + T(textVersion) +
                                   QLatin1Char(' ') + programVersion() + QStringLiteral("</a>"),
                               this);
    version->setObjectName(QStringLiteral("VersionLabel"));
    version->setTextFormat(Qt::RichText);
    version->setToolTip(T(textVersionHistory));
    connect(version, &QLabel::linkActivated, this, [this] { showVersionHistory(); });
    layout->addWidget(version);
    auto* description = new QLabel(T(textAboutDescription), this);
    description->setWordWrap(true);
    layout->addWidget(description);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    layout->addLayout(row);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    setMinimumWidth(420);
}

QDialog* TAboutBox::showVersionHistory() {
    if (!history_) {
        history_ = new QDialog(this);
        history_->setObjectName(QStringLiteral("VersionHistory"));
        history_->setWindowTitle(T(textVersionHistory));
        auto* text = new QPlainTextEdit(versionHistoryText(), history_);
        text->setReadOnly(true);
        auto* close = new QPushButton(T(textClose), history_);
        connect(close, &QPushButton::clicked, history_, &QDialog::accept);
        auto* layout = new QVBoxLayout(history_);
        layout->addWidget(text, 1);
        auto* row = new QHBoxLayout;
        row->addStretch();
        row->addWidget(close);
        layout->addLayout(row);
        history_->resize(560, 420);
    }
    history_->open();
    return history_;
}

}  // namespace orvel
