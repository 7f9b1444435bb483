#include "shell/frmMAIN.h"

namespace fwb {

frmMAIN::frmMAIN(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmMAIN"));
}

} // namespace fwb
