#pragma once

#include "examservice.h"

#include <functional>
#include <httplib.h>
#include <string>

namespace Qolvi_Desktop_Agent::tools {

using LogLine = std::function<void(const std::string &line)>;

// Makes the server's connections send each write at once. Without it an answer's body waits
// for the client's delayed acknowledgement of its headers, about 40 ms on every answer.
void sendWithoutDelay(httplib::Server &server);

// Serves the exam service's two paths and a stand-in exam site page on an HTTP(S) server,
// logging one line per answered request.
void mountExamService(httplib::Server &server, const ExamService &service, LogLine log);

} // namespace Qolvi_Desktop_Agent::tools
