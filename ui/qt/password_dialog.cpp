#include "ui/qt/password_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

#include "support/texts.h"

namespace {

constexpr int kTextWidth = 320;  // pixels: the width of the texts beside the icon

void Overwrite(QString* text) {
  // Only a buffer of our own is overwritten; a shared one would be copied first.
  if (text->isDetached()) std::fill(text->begin(), text->end(), QChar(u'\0'));
  text->clear();
}

void Overwrite(QByteArray* bytes) {
  if (bytes->isDetached()) std::fill(bytes->begin(), bytes->end(), '\0');
  bytes->clear();
}

}  // namespace

PasswordDialog::PasswordDialog(QWidget* owner, const QString& archive, bool wrong)
    : QDialog(owner) {
  setObjectName(QString::fromUtf8(kObjectName));
  setWindowTitle(QString::fromUtf8(texts::kPasswordTitle));
  setWindowModality(Qt::ApplicationModal);
  // A dialog that only asks: no help button, no resizing.
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* icon = new QLabel(this);
  const QStyle::StandardPixmap pixmap =
      wrong ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxQuestion;
  const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(size, size));
  icon->setAlignment(Qt::AlignTop);

  // The name as it is, never read as markup, cut in the middle when it is too long to show.
  const QString name = QFileInfo(archive).fileName();
  archive_name_ = new QLabel(this);
  archive_name_->setObjectName(QStringLiteral("archive"));
  archive_name_->setTextFormat(Qt::PlainText);
  const QString shown = QString::fromUtf8(texts::kPasswordArchive) + name;
  archive_name_->setText(fontMetrics().elidedText(shown, Qt::ElideMiddle, kTextWidth));
  if (archive_name_->text() != shown) archive_name_->setToolTip(name);

  prompt_ =
      new QLabel(QString::fromUtf8(wrong ? texts::kPasswordWrong : texts::kPasswordPrompt), this);
  prompt_->setObjectName(QStringLiteral("prompt"));
  prompt_->setTextFormat(Qt::PlainText);
  prompt_->setWordWrap(true);

  field_ = new QLineEdit(this);
  field_->setObjectName(QStringLiteral("password"));
  field_->setEchoMode(QLineEdit::Password);
  // Nothing typed here may be kept: no drag, no copy (Password mode already refuses both), no
  // history to undo into.
  field_->setDragEnabled(false);
  field_->setMinimumWidth(kTextWidth);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QString::fromUtf8(texts::kOk), QDialogButtonBox::AcceptRole);
  buttons->addButton(QString::fromUtf8(texts::kCancel), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* grid = new QGridLayout(this);
  grid->addWidget(icon, 0, 0, 3, 1);
  grid->addWidget(archive_name_, 0, 1);
  grid->addWidget(prompt_, 1, 1);
  grid->addWidget(field_, 2, 1);
  grid->addWidget(buttons, 3, 0, 1, 2);
  grid->setHorizontalSpacing(12);
  grid->setSizeConstraint(QLayout::SetFixedSize);
  field_->setFocus();
}

PasswordDialog::~PasswordDialog() {
  // A dialog left without TakePassword (cancelled) still takes nothing with it.
  field_->clear();
}

std::string PasswordDialog::TakePassword() {
  QString typed = field_->text();
  // Emptied first, so that `typed` holds the only reference to the text's buffer.
  field_->clear();
  QByteArray bytes = typed.toUtf8();
  std::string password(bytes.constData(), static_cast<size_t>(bytes.size()));
  Overwrite(&bytes);
  Overwrite(&typed);
  return password;
}
