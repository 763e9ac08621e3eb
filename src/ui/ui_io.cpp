#include "ui/ui_io.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPlainTextDocumentLayout>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>

namespace quadrel {

namespace {

// The console's layout: text added to the block being written is laid out when
// the block is next painted or measured, instead of at once; the box lies
// below the window's heights and is rarely seen. Everything else (new blocks,
// clearing) is handled as usual, with one repaint request.
class DeferredLayout : public QPlainTextDocumentLayout {
 public:
  explicit DeferredLayout(QTextDocument* doc) : QPlainTextDocumentLayout(doc) {
    // The scroll bars follow the new lines once a burst of traffic is over,
    // not at every reply.
    resize_.setSingleShot(true);
    resize_.setInterval(50);
    connect(&resize_, &QTimer::timeout, this, [this] { emit documentSizeChanged(documentSize()); });
  }

 protected:
  void documentChanged(int from, int removed, int added) override {
    QTextDocument* doc = document();
    QTextBlock first = doc->findBlock(from);
    const bool same_blocks = doc->blockCount() == blocks_;
    if (same_blocks && first.isValid() && first == doc->findBlock(std::max(0, from + removed + added - 1))) {
      first.clearLayout();
      emit update(everything(doc));
      return;
    }
    blocks_ = doc->blockCount();
    // The base class keeps its bookkeeping; its per-block update signals would
    // lay the new blocks out at once, so one repaint request replaces them.
    {
      const QSignalBlocker quiet(this);
      QPlainTextDocumentLayout::documentChanged(from, removed, added);
    }
    if (!same_blocks && !resize_.isActive()) resize_.start();
    emit update(everything(doc));
  }

 private:
  static QRectF everything(const QTextDocument* doc) {
    return QRectF(0., -doc->documentMargin(), 1e9, 1e9);
  }
  int blocks_ = 1;
  QTimer resize_;
};

}  // namespace

TextConsole::TextConsole(QPlainTextEdit* box) : box_(box) {
  auto* doc = new QTextDocument(box);
  doc->setDocumentLayout(new DeferredLayout(doc));
  doc->setUndoRedoEnabled(false);
  doc->setDefaultFont(box->font());
  box->setDocument(doc);
  end_ = QTextCursor(doc);
  flush_timer_.setSingleShot(true);
  flush_timer_.setInterval(kFlushMs);
  QObject::connect(&flush_timer_, &QTimer::timeout, this, [this] { flush(); });
  box->viewport()->installEventFilter(this);
}

void TextConsole::append(std::string_view text) {
  pending_ += QLatin1StringView(text.data(), static_cast<qsizetype>(text.size()));
  if (!flush_timer_.isActive()) flush_timer_.start();
}

void TextConsole::flush() {
  flush_timer_.stop();
  if (pending_.isEmpty()) return;
  // Inside an edit block the cursor does not measure its place in the layout.
  end_.beginEditBlock();
  end_.setPosition(box_->document()->characterCount() - 1);
  end_.insertText(pending_);
  end_.endEditBlock();
  pending_.clear();
}

void TextConsole::clear() {
  pending_.clear();
  flush_timer_.stop();
  box_->clear();
}

bool TextConsole::eventFilter(QObject* watched, QEvent* event) {
  // Whatever is shown is up to date.
  if (event->type() == QEvent::Paint) flush();
  return QObject::eventFilter(watched, event);
}

void MessageBoxNotifier::message(const std::string& text, MessageIcon icon) {
  message_titled(QApplication::applicationName().toStdString(), text, icon);
}

void MessageBoxNotifier::message_titled(const std::string& title, const std::string& text, MessageIcon icon) {
  const Message m{title, text, icon};
  if (showing_ == m || std::find(waiting_.begin(), waiting_.end(), m) != waiting_.end()) return;
  waiting_.push_back(m);
  if (scheduled_ || awaiting_release_) return;
  scheduled_ = true;
  QMetaObject::invokeMethod(this, [this] { show_waiting(); }, Qt::QueuedConnection);
}

void MessageBoxNotifier::show_waiting() {
  scheduled_ = false;
  if (QGuiApplication::mouseButtons() == Qt::NoButton) return show_next();
  if (awaiting_release_) return;
  awaiting_release_ = true;
  qApp->installEventFilter(this);
}

bool MessageBoxNotifier::eventFilter(QObject* watched, QEvent* event) {
  // The release reaches its widget first (the slider's arrow stops); the box follows.
  if (event->type() == QEvent::MouseButtonRelease && awaiting_release_ &&
      static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton) {
    awaiting_release_ = false;
    qApp->removeEventFilter(this);
    scheduled_ = true;
    QMetaObject::invokeMethod(this, [this] { show_waiting(); }, Qt::QueuedConnection);
  }
  return QObject::eventFilter(watched, event);
}

void MessageBoxNotifier::flush() {
  // The window closes: what waits is shown in boxes of their own, which keep
  // the program until they are answered.
  owner_ = nullptr;
  show_next();
}

void MessageBoxNotifier::show_next() {
  scheduled_ = false;
  if (awaiting_release_) {
    awaiting_release_ = false;
    qApp->removeEventFilter(this);
  }
  // A box shows the next when it closes.
  if (showing_ || waiting_.empty()) return;
  showing_ = waiting_.front();
  waiting_.erase(waiting_.begin());
  show(*showing_);
}

void MessageBoxNotifier::show(const Message& message) {
  QMessageBox::Icon box_icon = QMessageBox::NoIcon;
  if (message.icon == MessageIcon::Error) box_icon = QMessageBox::Critical;
  if (message.icon == MessageIcon::Warning) box_icon = QMessageBox::Warning;
  const QString text = QString::fromStdString(message.text);
  const QString title = QString::fromStdString(message.title);
  // Shown and left to the program's own event loop: nothing waits inside it.
  auto* box = new QMessageBox(box_icon, title, text, QMessageBox::Ok, owner_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::ApplicationModal);
  // Messages quote file contents: shown as they are, never read as markup.
  box->setTextFormat(Qt::PlainText);
  box->setAccessibleName(title);
  box->setAccessibleDescription(text);
  connect(box, &QDialog::finished, this, [this] {
    showing_.reset();
    show_next();
  });
  box->show();
}

}  // namespace quadrel
