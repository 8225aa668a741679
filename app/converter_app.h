// CConverterApp: the application object. Its instance initialisation sets the dialog colours, runs
// the main dialog modally and ends the program when the dialog has closed.
#pragma once

#include <QApplication>

class CConverterApp : public QApplication {
  Q_OBJECT

 public:
  CConverterApp(int& argc, char** argv);

  // Runs the program, with ac3File (when not empty) as the AC-3 choice: returns the exit code.
  int InitInstance(const QString& ac3File = QString());
};
