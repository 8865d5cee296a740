#include "core/confirm_methods.h"

#include "core/settings_manager.h"
#include "core/texts.h"

namespace orvel {

QString MethodName(int method) {
    const bool dtmf = method & 1;
    const bool hangUp = method & 2;
    if (dtmf && hangUp) {
        return QStringLiteral("DTMF ") + T(textOr) + QLatin1Char(' ') + T(textDroppedPhone);
    }
    if (dtmf)
        return QStringLiteral("DTMF");
    if (hangUp)
        return T(textDroppedPhone);
    return QLatin1Char('<') + T(textByDefault) + QLatin1Char('>');
}

QStringList methodChoiceNames() {
    return {MethodName(kConfirmDtmf), MethodName(kConfirmHangUp), MethodName(kConfirmDtmfOrHangUp)};
}

int methodFromChoice(int position) {
    return position >= 0 && position <= 2 ? position + 1 : kConfirmDefault;
}

TConfirmMethodManager::Compiled TConfirmMethodManager::compile(const QString& pattern, int method) {
    return {{pattern, method}, QRegularExpression(pattern)};
}

void TConfirmMethodManager::append(const QString& pattern, int method) {
    entries_.append(compile(pattern, method));
}

void TConfirmMethodManager::replace(int k, const QString& pattern, int method) {
    if (k >= 0 && k < entries_.size())
        entries_[k] = compile(pattern, method);
}

void TConfirmMethodManager::remove(int k) {
    if (k >= 0 && k < entries_.size())
        entries_.removeAt(k);
}

void TConfirmMethodManager::move(int from, int to) {
    if (from >= 0 && from < entries_.size() && to >= 0 && to < entries_.size()) {
        entries_.move(from, to);
    }
}

std::optional<int> TConfirmMethodManager::MethodForNumber(const QString& phone) const {
    for (const Compiled& c : entries_) {
        if (!c.re.isValid())
            return std::nullopt;
        if (c.re.match(phone).hasMatch())
            return c.entry.method;
    }
    return defaultMethod_;
}

std::optional<int> TConfirmMethodManager::modeForSubscriber(int ownMethod,
                                                            const QString& phone) const {
    if (ownMethod != kConfirmDefault)
        return ownMethod;
    return MethodForNumber(phone);
}

bool TConfirmMethodManager::isValidPattern(const QString& pattern, QString* error) {
    const QRegularExpression re(pattern);
    if (!re.isValid() && error)
        *error = re.errorString();
    return re.isValid();
}

void TConfirmMethodManager::load(const SettingsManager& settings) {
    defaultMethod_ = settings.readInt(SID_DEFAULT_CONFIRM_METHOD, 0);
    const int n = settings.readInt(SID_CONFIRM_METHOD_NUMBER_COUNT, 0);
    entries_.clear();
    for (int k = 0; k < n; ++k) {
        const QString pattern =
            settings.ReadIndexedSetting(SID_CONFIRM_METHOD_NUMBER, k, QString()).toString();
        const int method = settings.readIndexedInt(SID_CONFIRM_METHOD_METHOD, k, 0);
        append(pattern, method);
    }
}

void TConfirmMethodManager::save(SettingsManager& settings) const {
    settings.WriteSetting(SID_DEFAULT_CONFIRM_METHOD, defaultMethod_);
    settings.WriteSetting(SID_CONFIRM_METHOD_NUMBER_COUNT, int(entries_.size()));
    for (int k = 0; k < entries_.size(); ++k) {
        settings.WriteIndexedSetting(SID_CONFIRM_METHOD_NUMBER, k, entries_[k].entry.pattern);
        settings.WriteIndexedSetting(SID_CONFIRM_METHOD_METHOD, k, entries_[k].entry.method);
    }
}

}  // namespace orvel
