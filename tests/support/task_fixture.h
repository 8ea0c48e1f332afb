#pragma once
// A task of the sample area (116.3..116.5 east, 39.8..40.0 north, zoom 13,
// map layer) saved into a temporary folder, with a message sink that keeps
// what it was shown.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/message_sink.h"
#include "sample_fields.h"
#include "task/md_task.h"
#include "temp_dir.h"

namespace tessellon::test {

class RecordingMessages : public MessageSink {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

class SampleTask : public ::testing::Test {
protected:
    SampleTask() : params(SampleTaskParameters(dir.Path())) {
        params.MapHost = "maps.example:8086";
        params.SatelliteHost = "sat.example";
    }

    MDTask& Create() {
        task = std::make_unique<MDTask>(&params, messages);
        return *task;
    }

    TempDir dir;
    TaskParameters params;
    RecordingMessages messages;
    std::unique_ptr<MDTask> task;
};

}  // namespace tessellon::test
