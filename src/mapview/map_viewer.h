// The map viewer job (input kind 3).
#pragma once
namespace quarnel {
void map_viewer_job();
}
