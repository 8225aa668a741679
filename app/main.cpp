// QelpConvert: converts AC-3 files into stereo WAVE files in one skinned dialog.
#include "converter_app.h"

int main(int argc, char** argv)
{
  CConverterApp app(argc, argv);
  return app.InitInstance();
}
