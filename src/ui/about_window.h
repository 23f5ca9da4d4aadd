#pragma once

#include <QDialog>

namespace fernhold {

// Name in a large font, version, copyright and the web page's link.
class AboutWindow : public QDialog
{
    Q_OBJECT
public:
    AboutWindow();
};

} // namespace fernhold
