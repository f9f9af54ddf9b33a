#include "ui/FileActions.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QFormLayout>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeDatabase>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <functional>

#include "base/FormatSettings.h"
#include "base/UserPrompt.h"
#include "platform/DesktopApps.h"
#include "platform/FileSystem.h"
#include "localization/Formatting.h"
#include "platform/ProcessLauncher.h"
#include "platform/Shell.h"
#include "ui/DialogHelpers.h"
#include "ui/UiText.h"

namespace pelcrow::ui {
namespace {

bool TooLong(const std::string& path) {
  if (path.size() <= kMaxShellPath) return false;
  GetUserPrompt().ShowMessage(TMessageKind::mkWarning,
                              TranslateText("This feature is unavailable for files with very long path (more than 260 symbols)"));
  return true;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

QString ModeText(std::uint32_t mode) {
  QString s;
  const char* const letters = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i) s += (mode & (0400u >> i)) ? QLatin1Char(letters[i]) : QLatin1Char('-');
  return s;
}

void Fill(std::string& text, const std::string& value) {
  const auto at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, value);
}

std::string Filled(const char* text, const std::string& a, const std::string& b = {}) {
  std::string out = TranslateText(text);
  Fill(out, a);
  Fill(out, b);
  return out;
}

std::string FailureReason(const platform::TLaunchFailure& f) {
  using platform::TLaunchFailure;
  switch (f.Kind) {
    case TLaunchFailure::lfMissing: return TranslateText("It does not exist any more.");
    case TLaunchFailure::lfNoOpener:
      return TranslateText("Neither xdg-open nor gio is installed, so no application can be asked to open it.");
    case TLaunchFailure::lfNotFound: return Filled("The program \"%s\" was not found.", f.Program);
    case TLaunchFailure::lfCannotStart:
      return Filled("The program \"%s\" could not be started: %s.", f.Program, std::strerror(f.Code));
    case TLaunchFailure::lfExitStatus:
      if (f.Program == "gio" || f.Program == "xdg-open")
        return Filled("\"%s\" could not hand it to an application (exit status %s). Perhaps none is registered for this type.",
                      f.Program, std::to_string(f.Code));
      return Filled("\"%s\" ended at once with exit status %s.", f.Program, std::to_string(f.Code));
    case TLaunchFailure::lfSignal: return Filled("\"%s\" was ended by signal %s.", f.Program, std::to_string(f.Code));
    case TLaunchFailure::lfNone: break;
  }
  return TranslateText("The desktop gave no reason.");
}

bool Report(const std::string& headline, const platform::TLaunchFailure& failure) {
  GetUserPrompt().ShowMessage(TMessageKind::mkError, headline + "\n" + FailureReason(failure));
  return false;
}

}  // namespace

bool OpenItemFile(const std::string& path) {
  if (TooLong(path)) return false;
  platform::TLaunchFailure failure;
  if (platform::OpenFile(path, failure)) return true;
  return Report(Filled("Can not open \"%s\".", path), failure);
}

bool OpenItemWith(const std::string& path, QWidget* parent) {
  if (TooLong(path)) return false;
  if (platform::OpenWith(path)) return true;
  // No portal chooser: the programs registered for the file's type, and a field for any other
  // one, which gets the path as its one argument, no shell.
  const QMimeType mime = QMimeDatabase().mimeTypeForFile(PathText(path));
  std::vector<std::string> types{mime.name().toStdString()};
  for (const QString& t : mime.allAncestors()) types.push_back(t.toStdString());
  const std::vector<platform::TDesktopApp> apps = platform::ApplicationsForTypes(types);
  QDialog dlg(parent);
  dlg.setObjectName(QStringLiteral("fmOpenWith"));
  dlg.setWindowTitle(Tr("Open with ..."));
  auto* v = new QVBoxLayout(&dlg);
  auto* file = new QLabel(PathText(path), &dlg);
  file->setWordWrap(true);
  v->addWidget(file);
  auto* list = new QListWidget(&dlg);
  list->setObjectName(QStringLiteral("lbPrograms"));
  for (const platform::TDesktopApp& app : apps) {
    auto* item = new QListWidgetItem(QString::fromStdString(app.Name), list);
    item->setToolTip(QString::fromStdString(app.Exec));
  }
  if (apps.empty()) {
    v->addWidget(new QLabel(Tr("No program is registered for this type of file."), &dlg));
    list->hide();
  } else {
    list->setCurrentRow(0);
  }
  v->addWidget(list, 1);
  v->addWidget(new QLabel(Tr("Other program:"), &dlg));
  auto* edit = new QLineEdit(&dlg);
  edit->setObjectName(QStringLiteral("edProgram"));
  v->addWidget(edit);
  // A typed program is the choice; picking from the list again empties the field.
  QObject::connect(edit, &QLineEdit::textEdited, list, [list](const QString& text) {
    if (!text.isEmpty()) list->clearSelection();
  });
  QObject::connect(list, &QListWidget::itemClicked, edit, [edit] { edit->clear(); });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
  QObject::connect(list, &QListWidget::itemDoubleClicked, &dlg, &QDialog::accept);
  v->addWidget(buttons);
  dlg.resize(dlg.sizeHint().expandedTo(QSize(420, 0)));
  if (RunModal(dlg) != QDialog::Accepted) return false;
  const std::string program = PathBytes(edit->text().trimmed());
  platform::TLaunchFailure failure;
  if (program.empty()) {
    const int row = list->currentRow();
    if (row < 0 || row >= static_cast<int>(apps.size()) || list->selectedItems().isEmpty()) return false;
    const platform::TDesktopApp& app = apps[static_cast<std::size_t>(row)];
    if (platform::OpenWithApplication(app, path, failure)) return true;
    return Report(Filled("Can not open \"%s\" with \"%s\".", path, app.Name), failure);
  }
  if (platform::OpenWithProgram(program, path, failure)) return true;
  return Report(Filled("Can not open \"%s\" with \"%s\".", path, program), failure);
}

bool OpenItemFolder(const std::string& folder) {
  if (TooLong(folder)) return false;
  platform::TLaunchFailure failure;
  if (platform::OpenFolderInExplorer(folder, failure)) return true;
  return Report(Filled("Can not show the folder \"%s\".", folder), failure);
}

void ShowItemProperties(const std::string& path, QWidget* parent) {
  // A file manager that refuses the call leaves our own dialog, which needs the file itself.
  platform::TLaunchFailure failure;
  if (platform::ShowFileProperties(path, failure)) return;
  platform::TFileInfo info;
  const int err = platform::Stat(path, info);
  if (err != 0) {
    GetUserPrompt().ShowMessage(TMessageKind::mkError, Filled("Can not show the properties of \"%s\".", path) +
                                                           "\n" + std::strerror(err) + ".");
    return;
  }
  QDialog dlg(parent);
  dlg.setObjectName(QStringLiteral("fmFileProperties"));
  dlg.setWindowTitle(Tr("File Properties"));
  auto* form = new QFormLayout(&dlg);
  auto row = [&](const char* caption, const QString& value) {
    auto* l = new QLabel(value, &dlg);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(Tr(caption), l);
  };
  row("File Name", PathText(path.substr(path.find_last_of('/') + 1)));
  row("Path", PathText(path.substr(0, path.find_last_of('/'))));
  if (err == 0) {
    row("Size", QString::fromStdString(FormatFileSize(info.Size)) + QStringLiteral(" (") +
                    QString::fromStdString(FormatThousands(info.Size)) + QStringLiteral(")"));
    row("Modified", QString::fromStdString(FormatDateTime(GetDisplayDateFormat(true), info.Modified)));
    row("Permissions", ModeText(info.Mode));
    row("Type", QMimeDatabase().mimeTypeForFile(PathText(path)).comment());
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dlg);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
  form->addRow(buttons);
  dlg.exec();
}

bool IsPreviewPicture(const std::string& name) {
  const auto dot = name.find_last_of('.');
  if (dot == std::string::npos) return false;
  const std::string ext = Lower(name.substr(dot + 1));
  for (const char* e : {"bmp", "jpg", "jpeg", "gif", "tif", "tiff", "png"})
    if (ext == e) return true;
  return false;
}

QString PictureSizeText(const QSize& size) {
  QString text = Tr("Width: %d px; Height: %d px");
  for (int value : {size.width(), size.height()}) {
    const qsizetype at = text.indexOf(QStringLiteral("%d"));
    if (at >= 0) text.replace(at, 2, QString::number(value));
  }
  return text;
}

namespace {

// The picture closes its dialog when clicked.
class TClickablePicture final : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> Clicked;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && Clicked) Clicked();
  }
};

}  // namespace

void ShowPicturePreview(const std::string& path, QWidget* parent) {
  QImageReader reader(PathText(path));
  reader.setAutoTransform(true);
  const QImage image = reader.read();
  if (image.isNull() || image.size().isEmpty()) {
    GetUserPrompt().ShowMessage(TMessageKind::mkError,
                                TranslateText("Error while reading the specified picture file.") + "\r\n" +
                                    TranslateText("This is not a valid image file, or its format is not currently supported."));
    return;
  }
  QDialog dlg(parent);
  dlg.setObjectName(QStringLiteral("fmPicturePreview"));
  dlg.setWindowTitle(Tr("Picture Preview") + QStringLiteral(" - ") + PathText(path));
  auto* v = new QVBoxLayout(&dlg);
  auto* scroll = new QScrollArea(&dlg);
  scroll->setObjectName(QStringLiteral("sbPicture"));
  scroll->setAlignment(Qt::AlignCenter);
  scroll->setFrameShape(QFrame::NoFrame);
  auto* picture = new TClickablePicture(scroll);
  picture->setObjectName(QStringLiteral("imgPicture"));
  picture->setPixmap(QPixmap::fromImage(image));
  picture->setCursor(Qt::PointingHandCursor);
  picture->Clicked = [&dlg] { dlg.accept(); };
  scroll->setWidget(picture);
  v->addWidget(scroll, 1);
  auto* info = new QLabel(PictureSizeText(image.size()), &dlg);
  info->setObjectName(QStringLiteral("lPictureInfo"));
  info->setAlignment(Qt::AlignCenter);
  v->addWidget(info);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dlg);
  buttons->button(QDialogButtonBox::Close)->setText(Tr("Close"));
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
  v->addWidget(buttons);
  // At least 600 x 400, as large as the picture needs, never beyond the screen.
  const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                        : QRect(0, 0, 1024, 768);
  const QSize want = image.size() + QSize(40, 100);
  dlg.resize(std::clamp(want.width(), 600, std::max(600, screen.width() * 9 / 10)),
             std::clamp(want.height(), 400, std::max(400, screen.height() * 9 / 10)));
  RunModal(dlg);
}

}  // namespace pelcrow::ui
