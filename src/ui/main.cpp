#include "ui/AppStartup.h"

int main(int argc, char** argv) { return pelcrow::ui::RunApplication(argc, argv); }
