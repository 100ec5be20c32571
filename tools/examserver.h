#pragma once

#include "examservice.h"

#include <functional>
#include <httplib.h>
#include <string>

namespace Qolvi_Desktop_Agent::tools {

using LogLine = std::function<void(const std::string &line)>;

// Serves the exam service's two paths and a stand-in exam site page on an HTTP(S) server,
// logging one line per answered request.
void mountExamService(httplib::Server &server, const ExamService &service, LogLine log);

} // namespace Qolvi_Desktop_Agent::tools
