#include "cli/platform.h"
#include "cli/sender.h"
#include "serial/port_description.h"
#include "serial/port_discovery.h"

int main(int argc, char** argv)
{
    cli::Environment env;
    env.discoverPorts = [] { return serial::DiscoverPorts(); };
    env.describePort = [](const std::string& port) { return serial::DescribePort(port); };
    return cli::Run(cli::Utf8Arguments(argc, argv), cli::Out(), cli::Err(), env);
}
