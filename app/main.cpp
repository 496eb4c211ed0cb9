// Start-up: the key store, the application, the main window Form1, then the About box
// and the Settings dialog; the message loop; and the report of a failure while the
// windows are made.
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "app/about_box.h"
#include "app/application.h"
#include "app/form1.h"
#include "app/form_settings.h"
#include "app/key_store.h"
#include "app/program_look.h"

namespace {

// The message as raised, with a full stop added when its last character sorts after ".".
QString startupFailureText(const char* what) {
  QString text = QString::fromLocal8Bit(what);
  if (!text.isEmpty() && text.back() > QChar('.')) text += '.';
  return text;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Answered before the application starts, so that it works without a display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("sundrix " SUNDRIX_VERSION);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::puts(
        "Usage: sundrix [-s FILE | -j FIRST_PART]\n"
        "Opens the window; -s selects FILE for splitting, -j a first part for joining.\n"
        "See also sundrix-cli(1) for the command-line tool.");
    return 0;
  }
  // Before any window: the context-menu entries are written through it at the first show.
  app::keyStore();
  app::TApplication application(argc, argv);
  QApplication::setWindowIcon(app::programIcon());
  try {
    auto mainWindow = std::make_unique<TForm1>();
    // Both dialogs live, hidden, until the main window goes.
    new TAboutBox(mainWindow.get());
    new TFormSettings(mainWindow.get());
    mainWindow->show();
    return QApplication::exec();
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, TForm1::kCaption, startupFailureText(error.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, TForm1::kCaption, "The program could not start.");
  }
  return 1;
}
