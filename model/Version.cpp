// Placeholder translation unit; the model sources replace it.
namespace model { const char* version() { return TARLO_VERSION; } }
