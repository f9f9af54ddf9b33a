// The update check: the description on the update server says which version is out and where it
// is; a newer one is offered, downloaded with progress and cancel, checked against the SHA-256 the
// description gives, and then shown in the file manager (or handed to the package installer the
// desktop has for its type). The program never runs what it downloaded, and fetches nothing but
// https.
#pragma once

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

#include "services/UpdateCheck.h"

class QCheckBox;
class QCryptographicHash;
class QFile;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QProgressBar;
class QPushButton;
class QUrl;

namespace pelcrow::ui {

class TfmUpdate final : public QDialog {
  Q_OBJECT

 public:
  // With an offer already fetched (the start-up check) the window shows it at once; without,
  // it fetches the description when it is shown.
  explicit TfmUpdate(QWidget* parent = nullptr, std::optional<TUpdateDescription> offer = std::nullopt);
  ~TfmUpdate() override;

  bool Downloading() const { return fReply != nullptr; }
  // Where a finished download is kept (empty before one).
  const std::string& DownloadedFile() const { return fDownloadedFile; }

  QLabel* lblStatus;
  QLabel* lblQuestion;
  QPushButton* btnOK;
  QPushButton* btnNo;
  QPushButton* btnYes;
  QPushButton* btnCancel;
  QProgressBar* pbProgress;
  QCheckBox* chkCheckUpdates;

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;

 private:
  void Check();
  void Offer(const TUpdateDescription& offer);
  void NoUpdate();
  void Download();
  void ReadChunk();
  void Progress(qint64 received, qint64 total);
  void DownloadFinished();
  void Fail(const QString& message);
  void DiscardPartial();

  QNetworkAccessManager* fNetwork;
  QNetworkReply* fReply = nullptr;
  std::optional<TUpdateDescription> fOffer;
  bool fChecked = false;
  bool fStop = false;
  QFile* fPartial = nullptr;
  QCryptographicHash* fHash = nullptr;
  std::string fTarget;
  std::string fDownloadedFile;
};

// A request with the properties every update request has: redirects only to https, no cookies,
// a time-out for a server that stops answering.
QNetworkRequest UpdateRequest(const QUrl& url);

// The menu's check (always shown) or the start-up one (automatic: shown only when a newer
// version is out; the check runs without blocking the window).
void ShowUpdateDialog(QWidget* parent, bool automatic);

// The main window's start-up check (ShowUpdateDialog, automatic); tests replace it.
extern std::function<void(QWidget*)> RunStartupUpdateCheck;

// What is done with a checked download; tests replace it. By default a package whose type the
// desktop has an installer for goes to that installer, anything else is shown in the file manager.
extern std::function<void(const std::string&)> PresentDownload;

}  // namespace pelcrow::ui
