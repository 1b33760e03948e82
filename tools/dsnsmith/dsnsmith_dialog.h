// Dsnsmith's window: the data sources of this computer, the one the
// settings name preselected, a user and a password. OK writes the choice
// into the settings and closes; a failed write says why and stays open.
// Cancel writes nothing.
#pragma once

#include <QDialog>
#include <filesystem>
#include <string>

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace dsnsmith {

// Asks for the name and the database file of a new SQLite data source.
class NewSourceDialog : public QDialog {
 public:
  explicit NewSourceDialog(QWidget* parent = nullptr);
  QLineEdit* nameEdit() const { return name_; }
  QLineEdit* fileEdit() const { return file_; }

 private:
  QLineEdit* name_;
  QLineEdit* file_;
};

class DsnsmithDialog : public QDialog {
 public:
  // `schema` is the SQLite schema that a new database is made with.
  explicit DsnsmithDialog(std::filesystem::path schema, QWidget* parent = nullptr);

  // Lists the data sources again, selecting `name` when it is among them.
  void Refresh(const std::string& name);
  // Makes the SQLite data source `name` on the database file `path` and
  // selects it; false with the reason in `error` otherwise.
  bool AddSqliteSource(const std::string& name, const std::string& path, std::string* error);

  QTreeWidget* sources() const { return sources_; }
  QLineEdit* userEdit() const { return user_; }
  QLineEdit* passwordEdit() const { return password_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* newButton() const { return new_; }

  void accept() override;

 private:
  void AskForNewSource();
  void UpdateOk();

  std::filesystem::path schema_;
  QTreeWidget* sources_;
  QLineEdit* user_;
  QLineEdit* password_;
  QPushButton* ok_;
  QPushButton* new_;
};

}  // namespace dsnsmith
