#include "ui/ProcessingDialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

#include "base/DateTime.h"
#include "base/FormatSettings.h"
#include "base/UserPrompt.h"
#include "engine/Processing.h"
#include "logging/Logger.h"
#include "platform/SpecialFolders.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

void Warn(const char* text) { GetUserPrompt().ShowMessage(TMessageKind::mkWarning, TranslateText(text)); }

QLabel* BoldText(const char* text, QWidget* parent) {
  auto* l = new QLabel(Tr(text), parent);
  QFont f = l->font();
  f.setBold(true);
  l->setFont(f);
  l->setWordWrap(true);
  return l;
}

}  // namespace

std::string DefaultMoveFolder() {
  const auto& docs = TPcwSpecialFolders::GetDocumentsDirectory();
  std::string base = docs.empty() ? TPcwSpecialFolders::GetHomeDirectory() : docs.front();
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/PCW" + FormatDateTime("yyyymmdd", TDateTime::Now());
}

bool ValidateMoveFolder(const QString& folder) {
  if (folder.trimmed().isEmpty()) {
    Warn("Folder must be specified");
    return false;
  }
  std::error_code ec;
  const std::filesystem::path p(PathBytes(folder));
  std::filesystem::create_directories(p, ec);
  if (!std::filesystem::is_directory(p, ec)) {
    Warn("Folder must exist");
    return false;
  }
  return true;
}

bool ValidateRenameText(const QString& text) {
  if (text.trimmed().isEmpty()) {
    Warn("Prefix must be specified");
    return false;
  }
  return true;
}

// ------------------------------------------------------------------ option panels

TMoveOptions::TMoveOptions(QWidget* parent) : QWidget(parent) {
  auto* col = new QVBoxLayout(this);
  col->setContentsMargins(0, 0, 0, 0);
  auto* row = new QHBoxLayout;
  edFolder = new QLineEdit(this);
  edFolder->setObjectName(QStringLiteral("edFolder"));
  edFolder->setReadOnly(true);
  edFolder->setMinimumWidth(320);
  sbSelect = new QPushButton(Tr("Browse"), this);
  sbSelect->setObjectName(QStringLiteral("sbSelect"));
  row->addWidget(edFolder, 1);
  row->addWidget(sbSelect);
  col->addLayout(row);
  chkKFS = new QCheckBox(Tr("Keep folder structure"), this);
  chkKFS->setObjectName(QStringLiteral("chkKFS"));
  col->addWidget(chkKFS);
  connect(sbSelect, &QPushButton::clicked, this, &TMoveOptions::Browse);
}

QString TMoveOptions::Folder() const { return edFolder->text(); }
void TMoveOptions::SetFolder(const QString& folder) { edFolder->setText(folder); }

void TMoveOptions::Browse() {
  const QString dir = QFileDialog::getExistingDirectory(this, Tr("Select Directory"), edFolder->text());
  if (dir.isEmpty()) return;
  const std::string path = PathBytes(dir);
  if (!Settings.CheckExclusionFolder(path, false)) return;
  edFolder->setText(dir);
  if (OnBrowsed) OnBrowsed(path);
}

TRenameOptions::TRenameOptions(QWidget* parent) : QWidget(parent) {
  auto* col = new QVBoxLayout(this);
  col->setContentsMargins(0, 0, 0, 0);
  lTitle = new QLabel(this);
  lTitle->setObjectName(QStringLiteral("lTitle"));
  edPrefix = new QLineEdit(QStringLiteral("_Duplicate_"), this);
  edPrefix->setObjectName(QStringLiteral("edPrefix"));
  rbPrefix = new QRadioButton(Tr("Add a Prefix to Filename"), this);
  rbPrefix->setObjectName(QStringLiteral("rbPrefix"));
  rbPostfix = new QRadioButton(Tr("Add a Postfix to Filename"), this);
  rbPostfix->setObjectName(QStringLiteral("rbPostfix"));
  rbPrefix->setChecked(true);
  lExample = new QLabel(this);
  lExample->setObjectName(QStringLiteral("lExample"));
  col->addWidget(lTitle);
  col->addWidget(edPrefix);
  col->addWidget(rbPrefix);
  col->addWidget(rbPostfix);
  col->addWidget(lExample);
  connect(edPrefix, &QLineEdit::textChanged, this, &TRenameOptions::UpdateExample);
  connect(rbPrefix, &QRadioButton::toggled, this, &TRenameOptions::UpdateExample);
  UpdateExample();
}

QString TRenameOptions::Text() const { return edPrefix->text(); }
bool TRenameOptions::Prefix() const { return rbPrefix->isChecked(); }

void TRenameOptions::UpdateExample() {
  const QString text = edPrefix->text();
  if (Prefix()) {
    lTitle->setText(Tr("Rename files with a Prefix:"));
    lExample->setText(Tr("Example: ") + text + QStringLiteral("Filename") + QStringLiteral(".ext"));
  } else {
    lTitle->setText(Tr("Rename files with a Postfix:"));
    lExample->setText(Tr("Example: ") + QStringLiteral("Filename") + text + QStringLiteral(".ext"));
  }
}

// ------------------------------------------------------------------ dialogs

TProcessingDialog::TProcessingDialog(QWidget* parent) : QDialog(parent) { setModal(true); }

void TProcessingDialog::AddButtons(QVBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  btnYes = new QPushButton(Tr("Yes"), this);
  btnYes->setObjectName(QStringLiteral("btnYes"));
  btnNo = new QPushButton(Tr("No"), this);
  btnNo->setObjectName(QStringLiteral("btnNo"));
  btnYes->setAutoDefault(false);
  btnNo->setDefault(true);
  row->addWidget(btnYes);
  row->addWidget(btnNo);
  layout->addLayout(row);
  connect(btnYes, &QPushButton::clicked, this, [this] {
    if (Validate()) accept();
  });
  connect(btnNo, &QPushButton::clicked, this, &QDialog::reject);
}

TfmDelete::TfmDelete(QWidget* parent) : TProcessingDialog(parent) {
  setObjectName(QStringLiteral("fmDelete"));
  setWindowTitle(Tr("Remove duplicate files"));
  auto* col = new QVBoxLayout(this);
  col->addWidget(BoldText("Do You really want to delete selected files?", this));
  rbMoveToRecycleBin = new QRadioButton(Tr("Move files to the Trash"), this);
  rbMoveToRecycleBin->setObjectName(QStringLiteral("rbMoveToRecycleBin"));
  rbDeletePermanently = new QRadioButton(Tr("Delete files permanently"), this);
  rbDeletePermanently->setObjectName(QStringLiteral("rbDeletePermanently"));
  rbMoveToRecycleBin->setChecked(true);
  col->addWidget(rbMoveToRecycleBin);
  col->addWidget(rbDeletePermanently);
  AddButtons(col);
}

bool TfmDelete::Permanent() const { return rbDeletePermanently->isChecked(); }

TfmMove::TfmMove(QWidget* parent) : TProcessingDialog(parent) {
  setObjectName(QStringLiteral("fmMove"));
  setWindowTitle(Tr("Move Selected to Specified Folder"));
  auto* col = new QVBoxLayout(this);
  col->addWidget(new QLabel(Tr("Select folder:"), this));
  Options = new TMoveOptions(this);
  col->addWidget(Options);
  col->addWidget(BoldText("Do You really want to move selected files?", this));
  auto* note = new QLabel(Tr("Undo can move the files back."), this);
  note->setWordWrap(true);
  col->addWidget(note);
  AddButtons(col);
}

bool TfmMove::Validate() { return ValidateMoveFolder(Options->Folder()); }

TfmRename::TfmRename(QWidget* parent) : TProcessingDialog(parent) {
  setObjectName(QStringLiteral("fmRename"));
  setWindowTitle(Tr("Rename selected duplicate files"));
  auto* col = new QVBoxLayout(this);
  Options = new TRenameOptions(this);
  col->addWidget(Options);
  col->addWidget(BoldText("Do You really want to rename selected files?", this));
  AddButtons(col);
}

bool TfmRename::Validate() { return ValidateRenameText(Options->Text()); }

// ------------------------------------------------------------------ failure report

bool ShowFailureReport(QWidget* parent, const std::string& head, TPcwLogEvent event) {
  const bool logged = FailureReportLogged(Settings, event);
  QMessageBox box(parent);
  box.setObjectName(QStringLiteral("FailureReport"));
  box.setWindowTitle(QString::fromStdString(std::string(kAppName)));
  box.setIcon(QMessageBox::Warning);
  box.setText(QString::fromStdString(FailureReportText(head, logged)));
  QCheckBox* check = nullptr;
  if (!logged) {
    check = new QCheckBox(Tr("Enable Logging"), &box);
    check->setObjectName(QStringLiteral("chkEnableLogging"));
    box.setCheckBox(check);
  }
  QPushButton* retry = box.addButton(Tr("Retry"), QMessageBox::AcceptRole);
  retry->setObjectName(QStringLiteral("btnRetry"));
  QPushButton* cancel = box.addButton(Tr("Cancel"), QMessageBox::RejectRole);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  box.setDefaultButton(cancel);
  box.exec();
  const bool again = box.clickedButton() == retry;
  if (again && check && check->isChecked()) {
    std::error_code ec;
    if (Settings.LogDirectory.empty() || !std::filesystem::is_directory(Settings.LogDirectory, ec)) {
      const QString dir = QFileDialog::getExistingDirectory(parent, Tr("Select Log Directory"),
                                                            PathText(Settings.LogDirectory));
      if (!dir.isEmpty() && Settings.CheckLogFolder(PathBytes(dir), false)) Settings.LogDirectory = PathBytes(dir);
    }
    EnableLoggingFor(Settings, event);
    StartLogging(LogOptionsOf(Settings), TPcwLogEvents{leInfo});
    Settings.SaveSettings();
  }
  return again;
}

}  // namespace pelcrow::ui
