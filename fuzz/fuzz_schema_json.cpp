// The schema JSON reader: any bytes give a schema or ToolError; a schema read is checked
// against the naming rules like vdbtool create does (failing with ErrorRecord at most).
#include "ErrorRecord.h"
#include "FuzzSupport.h"
#include "SchemaJson.h"
#include "ToolError.h"
#include "VdbCreate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        validateSchema(schemaFromJson(fuzzBytes(data, size)));
    } catch (const ToolError&) {
    } catch (const ErrorRecord&) {
    }
    return 0;
}
