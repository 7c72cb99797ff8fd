#include <QWidget>
int probe() { return sizeof(QWidget); }
