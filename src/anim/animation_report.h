// The animation report job (input kind 4).
#pragma once
namespace quarnel {
void animation_report_job();
}
