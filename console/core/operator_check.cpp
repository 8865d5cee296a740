#include "core/operator_check.h"

#include <QFileInfo>

#include "core/texts.h"

namespace orvel {

TCurrentOperator TCurrentOperator::fromRecord(const Credentials& entered,
                                              const TOperatorFileRecord& r) {
    const auto bit = [&r](OperatorRight right) {
        return (r.rights & static_cast<std::uint16_t>(right)) != 0;
    };
    TCurrentOperator op;
    op.name = entered.name;
    op.password = entered.password;
    op.administrator = bit(OperatorRight::Administrator);
    op.interface = bit(OperatorRight::Interface);
    op.startNotification = bit(OperatorRight::StartNotification);
    op.changeBase = bit(OperatorRight::ChangeBase);
    op.changeLineParams = bit(OperatorRight::ChangeLineParams);
    op.viewReports = bit(OperatorRight::ViewReports);
    op.changeGroups = bit(OperatorRight::ChangeGroups);
    op.changeNotifyParams = bit(OperatorRight::ChangeNotifyParams);
    op.exportRecords = bit(OperatorRight::ExportRecords);
    op.value1 = r.value1;
    op.value2 = r.value2;
    return op;
}

std::uint16_t TCurrentOperator::rightsBits() const {
    std::uint16_t bits = 0;
    const auto put = [&bits](bool flag, OperatorRight right) {
        if (flag)
            bits |= static_cast<std::uint16_t>(right);
    };
    put(administrator, OperatorRight::Administrator);
    put(interface, OperatorRight::Interface);
    put(startNotification, OperatorRight::StartNotification);
    put(changeBase, OperatorRight::ChangeBase);
    put(changeLineParams, OperatorRight::ChangeLineParams);
    put(viewReports, OperatorRight::ViewReports);
    put(changeGroups, OperatorRight::ChangeGroups);
    put(changeNotifyParams, OperatorRight::ChangeNotifyParams);
    put(exportRecords, OperatorRight::ExportRecords);
    return bits;
}

QString TOperatorCheck::readErrorText(const QString& path) {
    return T(textPasswordFileReadError) + QStringLiteral("! \n") +
           QFileInfo(path).absoluteFilePath();
}

LoginResult TOperatorCheck::check(const Credentials& credentials) {
    const TOperatorCheckResult r = checkOperatorFile(path_, credentials);
    if (!r.fileRead && showReadError)
        showReadError(readErrorText(path_));
    if (r.passwordCorrect) {
        current_ = TCurrentOperator::fromRecord(credentials, r.record);
        if (onAccepted)
            onAccepted(*current_);
        if (writeLog)
            writeLog(T(textAccessGranted), 1);
        return LoginResult::Accepted;
    }
    if (writeLog)
        writeLog(T(textAccessDenied), 2);
    return r.operatorFound ? LoginResult::WrongPassword : LoginResult::UnknownOperator;
}

}  // namespace orvel
