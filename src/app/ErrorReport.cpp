#include "app/ErrorReport.h"

#include "common/Product.h"

#include <QMessageBox>
#include <cstdio>

namespace ErrorReport {

void report(const QString &text, const QString &line)
{
    std::fprintf(stderr, "dialboard: %s\n", qUtf8Printable(line));
    std::fflush(stderr);
    QMessageBox::critical(nullptr, Product::name(), text);
}

}  // namespace ErrorReport
