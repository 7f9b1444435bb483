#pragma once

#include <QWidget>

namespace fwb {

class frmMAIN : public QWidget
{
    Q_OBJECT
public:
    explicit frmMAIN(QWidget *parent = nullptr);
};

} // namespace fwb
