#include "ui/qt/progress_window.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "support/texts.h"

namespace {

constexpr int kTextWidth = 400;    // pixels: long names are cut in the middle to fit
constexpr qint64 kRedrawMs = 100;  // a reader follows a few changes a second at most
constexpr qint64 kEventsMs = 30;   // the button answers well within a blink
constexpr int kBarSteps = 1000;

QString Elided(const QLabel* label, const QString& text) {
  return label->fontMetrics().elidedText(text, Qt::ElideMiddle, kTextWidth);
}

// Part of a whole as a step of the bar, without overflow for any 64-bit amounts.
int Steps(uint64_t done, uint64_t total) {
  done = std::min(done, total);
  const long double fraction = static_cast<long double>(done) / static_cast<long double>(total);
  return static_cast<int>(fraction * kBarSteps);
}

}  // namespace

QString AmountOfBytes(uint64_t bytes) {
  constexpr double kKilo = 1024.0;
  const auto b = static_cast<double>(bytes);
  if (b < kKilo * kKilo) return QStringLiteral("%1 KB").arg((bytes + 1023) / 1024);
  if (b < kKilo * kKilo * kKilo) {
    return QStringLiteral("%1 MB").arg(b / (kKilo * kKilo), 0, 'f', 1);
  }
  return QStringLiteral("%1 GB").arg(b / (kKilo * kKilo * kKilo), 0, 'f', 2);
}

QString AmountText(const ExtractionProgress& progress) {
  const QString entries =
      QStringLiteral("%1 / %2").arg(progress.entries_done).arg(progress.entries_total) +
      QString::fromUtf8(texts::kProgressEntryCount);
  if (progress.bytes_total > 0) {
    QString text = AmountOfBytes(progress.bytes_done) + QStringLiteral(" / ") +
                   AmountOfBytes(progress.bytes_total);
    if (progress.entries_total > 0) text += QStringLiteral("    ") + entries;
    return text;
  }
  if (progress.entries_total > 0) return entries;
  QString text =
      QString::number(progress.entries_done + 1) + QString::fromUtf8(texts::kProgressEntries);
  if (progress.bytes_done > 0) text += QStringLiteral("    ") + AmountOfBytes(progress.bytes_done);
  return text;
}

ProgressWindow::ProgressWindow(QWidget* owner) : QDialog(owner) {
  setObjectName(QString::fromUtf8(kObjectName));
  setWindowTitle(QString::fromUtf8(texts::kProgressTitle));
  setWindowModality(Qt::ApplicationModal);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  archive_ = new QLabel(this);
  entry_ = new QLabel(this);
  amount_ = new QLabel(this);
  archive_->setObjectName(QStringLiteral("archive"));
  entry_->setObjectName(QStringLiteral("entry"));
  amount_->setObjectName(QStringLiteral("amount"));
  for (QLabel* label : {archive_, entry_, amount_}) label->setTextFormat(Qt::PlainText);
  QFont bold = archive_->font();
  bold.setBold(true);
  archive_->setFont(bold);

  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("bar"));
  bar_->setRange(0, kBarSteps);
  bar_->setValue(0);
  bar_->setMinimumWidth(kTextWidth);

  cancel_ = new QPushButton(QString::fromUtf8(texts::kCancel), this);
  cancel_->setObjectName(QStringLiteral("cancel"));
  cancel_->setAutoDefault(false);
  connect(cancel_, &QPushButton::clicked, this, [this] { Cancel(); });

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(amount_, 1);
  bottom->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(archive_);
  layout->addWidget(entry_);
  layout->addSpacing(4);
  layout->addWidget(bar_);
  layout->addLayout(bottom);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool ProgressWindow::Update(const QString& archive, const ExtractionProgress& progress) {
  if (!isVisible()) {
    Draw(archive, progress);
    show();
    activateWindow();
    HandleEvents();
    return !cancelled_;
  }
  if (since_drawn_.hasExpired(kRedrawMs)) Draw(archive, progress);
  if (since_events_.hasExpired(kEventsMs)) HandleEvents();
  return !cancelled_;
}

void ProgressWindow::Draw(const QString& archive, const ExtractionProgress& progress) {
  archive_->setText(
      Elided(archive_, QString::fromUtf8(texts::kProgressArchive) + QFileInfo(archive).fileName()));
  if (!cancelled_) {
    entry_->setText(Elided(
        entry_, QString::fromUtf8(texts::kProgressEntry) + QString::fromStdString(progress.entry)));
  }
  amount_->setText(AmountText(progress));
  if (progress.bytes_total > 0) {
    bar_->setRange(0, kBarSteps);
    bar_->setValue(Steps(progress.bytes_done, progress.bytes_total));
  } else if (progress.entries_total > 0) {
    bar_->setRange(0, kBarSteps);
    bar_->setValue(Steps(progress.entries_done, progress.entries_total));
  } else {
    bar_->setRange(0, 0);  // a busy bar: nothing says how much is left
  }
  since_drawn_.start();
}

void ProgressWindow::HandleEvents() {
  QCoreApplication::processEvents();
  since_events_.start();
}

void ProgressWindow::Cancel() {
  if (cancelled_) return;
  cancelled_ = true;
  cancel_->setEnabled(false);
  entry_->setText(QString::fromUtf8(texts::kProgressCancelling));
}

void ProgressWindow::reject() { Cancel(); }
