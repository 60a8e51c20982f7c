// The archive builder job (input kind 5): a folder of pictures back into a
// sprite set or tile set.
#pragma once
namespace quarnel {
void archive_builder_job();
}
