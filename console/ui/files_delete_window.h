#pragma once
// "Удаление файлов": lists the message files (*.wav) of the wave message
// directory and deletes the chosen one after a question, noting it in the
// system log.

#include <QDialog>

class QListWidget;
class QPushButton;

namespace orvel {

class SettingsManager;

class TFilesDelForm : public QDialog {
    Q_OBJECT
public:
    TFilesDelForm(const QString& directory, SettingsManager* settings, QWidget* parent = nullptr);

    void refresh();
    // Deletes the selected file after asking. True when a file went.
    bool deleteSelected();

    QListWidget* list() const { return list_; }
    QPushButton* deleteButton() const { return delete_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString directory_;
    SettingsManager* settings_;
    QListWidget* list_;
    QPushButton* delete_;
    QPushButton* close_;
};

void DeleteMessages(QWidget* parent, const QString& directory, SettingsManager* settings);

}  // namespace orvel
