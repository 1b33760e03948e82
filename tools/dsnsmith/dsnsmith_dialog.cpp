#include "dsnsmith_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <utility>

#include "dsnsmith_core.h"

namespace dsnsmith {
namespace {

constexpr int kNameColumn = 0;
constexpr int kDriverColumn = 1;

QString Text(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string Text(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

NewSourceDialog::NewSourceDialog(QWidget* parent)
    : QDialog(parent), name_(new QLineEdit(this)), file_(new QLineEdit(this)) {
  setWindowTitle("New SQLite Data Source");
  name_->setMaxLength(static_cast<int>(kMaxNameLength));
  file_->setPlaceholderText("C:\\Data\\Events.db, or a path of this computer");
  auto* browse = new QPushButton("Browse...", this);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(browse);

  // Wide enough for the hint it shows while empty.
  file_->setMinimumWidth(file_->fontMetrics().horizontalAdvance(file_->placeholderText()) + 16);

  auto* form = new QFormLayout;
  form->addRow("Data source &name:", name_);
  // A row holding a layout gets no buddy from the form: its mnemonic is set
  // by hand, or the label shows the "&".
  auto* fileLabel = new QLabel("&Database file:", this);
  fileLabel->setBuddy(file_);
  form->addRow(fileLabel, fileRow);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  auto update = [this, ok] {
    ok->setEnabled(!name_->text().trimmed().isEmpty() && !file_->text().trimmed().isEmpty());
  };
  update();
  connect(name_, &QLineEdit::textChanged, this, update);
  connect(file_, &QLineEdit::textChanged, this, update);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(browse, &QPushButton::clicked, this, [this] {
    // An existing database is welcome: only the missing tables are added.
    const QString chosen = QFileDialog::getSaveFileName(this, "Database File", file_->text(),
                                                        "SQLite databases (*.db *.sqlite);;All files (*)", nullptr,
                                                        QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty()) file_->setText(chosen);
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      new QLabel("The database file is made with Corvid's event tables\n"
                 "when it does not exist, and completed when it does.",
                 this));
  layout->addLayout(form);
  layout->addWidget(buttons);
  resize(460, sizeHint().height());
}

DsnsmithDialog::DsnsmithDialog(std::filesystem::path schema, QWidget* parent)
    : QDialog(parent),
      schema_(std::move(schema)),
      sources_(new QTreeWidget(this)),
      user_(new QLineEdit(this)),
      password_(new QLineEdit(this)),
      ok_(nullptr),
      new_(new QPushButton("&New SQLite data source...", this)) {
  setWindowTitle("Dsnsmith - Choose Data Source");

  sources_->setColumnCount(3);
  sources_->setHeaderLabels({"Name", "Driver", "Kind"});
  sources_->setRootIsDecorated(false);
  sources_->setSelectionMode(QAbstractItemView::SingleSelection);
  sources_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  auto* listLabel = new QLabel("ODBC &data sources of this computer:", this);
  listLabel->setBuddy(sources_);

  password_->setEchoMode(QLineEdit::Password);
  auto* form = new QFormLayout;
  form->addRow("&User:", user_);
  form->addRow("&Password:", password_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &DsnsmithDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(sources_, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateOk(); });
  connect(sources_, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });
  connect(new_, &QPushButton::clicked, this, [this] { AskForNewSource(); });

  auto* newRow = new QHBoxLayout;
  newRow->addWidget(new_);
  newRow->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(listLabel);
  layout->addWidget(sources_, 1);
  layout->addLayout(newRow);
  layout->addLayout(form);
  layout->addWidget(buttons);
  resize(520, 380);

  const Choice current = CurrentChoice();
  user_->setText(Text(current.user));
  password_->setText(Text(current.password));
  Refresh(current.dsn);
}

void DsnsmithDialog::Refresh(const std::string& name) {
  sources_->clear();
  std::string error;
  const std::vector<DataSource> found = ListDataSources(&error);
  QTreeWidgetItem* selected = nullptr;
  for (const DataSource& source : found) {
    auto* item = new QTreeWidgetItem(
        sources_, {Text(source.name), Text(source.driver), source.system ? QString("System") : QString("User")});
    // Of a name that is both, the user's is the one the driver manager
    // connects to, and it is listed last.
    if (!name.empty() && source.name == name) selected = item;
  }
  if (selected != nullptr) {
    sources_->setCurrentItem(selected);
    sources_->scrollToItem(selected);
  }
  if (!error.empty()) QMessageBox::warning(this, windowTitle(), Text(error));
  UpdateOk();
}

bool DsnsmithDialog::AddSqliteSource(const std::string& name, const std::string& path, std::string* error) {
  if (!CreateSqliteDataSource(name, path, schema_, error)) return false;
  Refresh(name);
  return true;
}

void DsnsmithDialog::AskForNewSource() {
  NewSourceDialog prompt(this);
  // Asked again, with what was typed, until it works or is cancelled.
  while (prompt.exec() == QDialog::Accepted) {
    std::string error;
    if (AddSqliteSource(Text(prompt.nameEdit()->text().trimmed()), Text(prompt.fileEdit()->text().trimmed()), &error)) {
      return;
    }
    QMessageBox::warning(this, prompt.windowTitle(), Text(error));
  }
}

void DsnsmithDialog::UpdateOk() {
  ok_->setEnabled(sources_->currentItem() != nullptr && !sources_->selectedItems().isEmpty());
}

void DsnsmithDialog::accept() {
  QTreeWidgetItem* item = sources_->currentItem();
  if (item == nullptr || sources_->selectedItems().isEmpty()) return;
  Choice choice;
  choice.dsn = Text(item->text(kNameColumn));
  choice.description = Text(item->text(kDriverColumn));
  choice.type = DriverType(choice.description);
  choice.user = Text(user_->text());
  choice.password = Text(password_->text());
  std::string error;
  if (!WriteChoice(choice, &error)) {
    QMessageBox::critical(this, windowTitle(), Text(error));
    return;
  }
  QDialog::accept();
}

}  // namespace dsnsmith
