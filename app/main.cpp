// Start-up: the application, the main window Form1, then the About box and the Settings
// dialog; the message loop; and the report of a failure while the windows are made.
#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <memory>

#include "app/form1.h"

namespace {

// The message as raised, with a full stop added unless it already ends in punctuation.
QString startupFailureText(const char* what) {
  QString text = QString::fromLocal8Bit(what);
  if (!text.isEmpty() && text.back() > QChar('.')) text += '.';
  return text;
}

}  // namespace

int main(int argc, char* argv[]) {
  // The key store for the context-menu entries is opened here, before any window, once
  // it exists.
  QApplication application(argc, argv);
  try {
    auto mainWindow = std::make_unique<TForm1>();
    // The About box (TAboutBox) and the Settings dialog (TFormSettings) are created here,
    // hidden, once they exist.
    mainWindow->show();
    return QApplication::exec();
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, TForm1::kCaption, startupFailureText(error.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, TForm1::kCaption, "The program could not start.");
  }
  return 1;
}
