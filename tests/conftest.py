"""What ctest tells the Python tests, and how their outcome reaches ctest."""
import pytest

# ctest reports a test that exits with this code as skipped (SKIP_RETURN_CODE)
SKIPPED = 77


def pytest_addoption(parser):
    # The files the static tests read: help files, the allowed imports, the release folder
    static = parser.getgroup("velmo-static", "the static tests of the build's files")
    static.addoption("--chm", help="VELMO.chm")
    static.addoption("--hlp", help="VELMO.HLP")
    static.addoption("--imports-list", help="the functions VELMO.exe may import (tests/imports.txt)")
    static.addoption("--manifests", help="the release folder the manifests test checks")
    static.addoption("--packages", help="a build's packages folder, to make the release folder from first")

    group = parser.getgroup("velmo", "the build under test")
    group.addoption("--build", help="the build tree (build/win64, build/win32)")
    group.addoption("--exe", help="the program to test, if not BUILD/VELMO.exe")
    group.addoption("--objdump", help="the toolchain's objdump")
    group.addoption("--map", help="VELMO.exe's link map")
    group.addoption("--project-version", help="the project's version")
    group.addoption("--rc", help="the toolchain's windres")
    group.addoption("--zip", help="the zip package")
    group.addoption("--setup", help="the installer")

    # The end-to-end tests under wine, and the signing test
    e2e = parser.getgroup("velmo-e2e", "the end-to-end and signing tests")
    e2e.addoption("--prefix-arch", choices=("win32", "win64"),
                  help="the Windows the installer runs on, if not the build's architecture")
    e2e.addoption("--signing", help="the signing test's folder: its certificate, packages and what they unpack to")
    # The packing command is a CMake list: one option a word, as ctest gives them
    e2e.addoption("--pack", action="append", help="a word of the packing command (VELMO_PACK), once for each")
    e2e.addoption("--pack-arg", action="append",
                  help="an argument of the packing command after its folder (VELMO_PACK_ARGS), once for each")


@pytest.fixture(scope="session")
def option(request):
    """The options above, as option.build, option.exe, ..."""
    return request.config.option


def pytest_sessionfinish(session, exitstatus):
    # Everything skipped (the i686 program where i386 code cannot run): a skip for ctest too
    stats = session.config.pluginmanager.get_plugin("terminalreporter").stats
    if exitstatus == pytest.ExitCode.OK and stats.get("skipped") and not stats.get("passed"):
        session.exitstatus = SKIPPED
