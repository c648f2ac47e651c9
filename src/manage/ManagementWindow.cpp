#include "ManagementWindow.h"

namespace quilla {

FSet::FSet(QWidget *parent) : QMainWindow(parent) {}

} // namespace quilla
