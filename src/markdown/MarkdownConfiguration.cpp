#include "markdown/MarkdownConfiguration.h"

TConfiguration::TConfiguration(bool safe)
    : Fdecorator(std::make_unique<TDecorator>()), FsafeMode(safe) {}

void TConfiguration::SetDialect(TMarkdownProcessorDialect value) {
    FDialect = value;
}
