#pragma once
// Program-wide settings. None is kept between runs: every start begins with these defaults.
#include <QString>

namespace quenta {

struct Settings {
    bool debug_mode = false;
    bool units_metric = false;
    float baud_rate = 38400;
    double fw_version = 0;
    int user_com_port = 0;
    QString PID_mode;
    int frame_flag = 0;
    QString WBO2_PID = QStringLiteral("0");
    bool logger_stop = false;  // the data logger's stop flag, shared with the wideband meter
    bool logger_slots = false; // the data logger's extra parameter boxes exist
};

} // namespace quenta
