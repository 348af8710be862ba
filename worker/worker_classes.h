// Registers the worker server's classes: "mtELVAN.ELVAN" (each object on a thread of its own),
// "mtELVAN.DataSrc" and "mtELVAN.ServerProperty" (in the creator's apartment). Call once at
// program start, before creating any of them; safe from any thread.
#pragma once

namespace kelvan::worker {

void RegisterWorkerClasses();

}  // namespace kelvan::worker
