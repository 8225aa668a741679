// CConverterApp: the application object. Its instance initialisation sets the dialog colours, runs
// the main dialog modally and ends the program when the dialog has closed.
#pragma once

#include <QApplication>

class CConverterApp : public QApplication {
  Q_OBJECT

 public:
  CConverterApp(int& argc, char** argv);

  // Runs the program: returns the process exit code.
  int InitInstance();
};
