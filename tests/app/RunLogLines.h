// Lines of a send run's log as the pane shows them, for the tests that read them back.
#pragma once

#include <QString>

namespace runlines {

inline const QString header2 = QStringLiteral("★☆         您共选择了 2 个文件         ☆★");
inline const QString success = QStringLiteral("++++++++++++++++++++++++++      传送成功！");
inline const QString networkError =
    QStringLiteral("------------------------------ 网络错误，请查明原因！");
inline const QString stopped =
    QStringLiteral("---------------------------------------------------       用户终止！");
inline const QString ending = QStringLiteral("        --------======  传送完毕  ======--------");

} // namespace runlines
