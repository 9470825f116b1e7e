# The installer's tables, read with msitools: its version and upgrade code, the upgrade
# that replaces earlier versions, the Apps & Features icon, the Start-menu entries, and every
# file the install step puts in place for the zip.
# cmake -DMSI=... -DSTAGE=<the files it was made from> -DICON=app.ico -DMSIINFO=... -DWORK=...
#       -P check_windows_msi.cmake
cmake_minimum_required(VERSION 3.25)

# Written out here, not taken from the build: a changed upgrade code would leave every
# installed copy in place beside the next version.
set(upgrade_code "{91610BAC-DA8B-4C81-95C4-DD4E2E69D7F5}")
set(version 1.0.0.2)

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# The rows of a table as a list of tab-separated lines, its three header lines left out;
# a semicolon in a value, CMake's list separator, becomes a comma.
function(read_table table out)
  execute_process(COMMAND ${MSIINFO} export ${MSI} ${table} OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "msiinfo cannot read the ${table} table of ${MSI}")
  endif()
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" rows "${text}")
  list(REMOVE_AT rows 0 1 2)
  list(FILTER rows EXCLUDE REGEX "^$")
  set(${out} "${rows}" PARENT_SCOPE)
endfunction()

function(expect_row table row)
  read_table(${table} rows)
  if(NOT "${row}" IN_LIST rows)
    string(REPLACE ";" "\n" shown "${rows}")
    string(REPLACE "\t" " | " wanted "${row}")
    message(FATAL_ERROR "no row '${wanted}' in the ${table} table:\n${shown}")
  endif()
endfunction()

# Per machine, this version, this product, and its icon in Apps & Features.
foreach(property "ALLUSERS\t1" "ProductVersion\t${version}" "UpgradeCode\t${upgrade_code}"
                 "ProductName\tVandry Customer Display Test" "Manufacturer\tVandry"
                 "ARPPRODUCTICON\tapp.ico")
  expect_row(Property "${property}")
endforeach()
expect_row(Icon "app.ico\tIcon.app.ico")
execute_process(COMMAND ${MSIINFO} extract ${MSI} Icon.app.ico OUTPUT_FILE ${WORK}/icon.ico RESULT_VARIABLE status)
file(SHA256 ${WORK}/icon.ico packed)
file(SHA256 ${ICON} expected)
if(NOT status EQUAL 0 OR NOT packed STREQUAL expected)
  message(FATAL_ERROR "the Apps & Features icon is not ${ICON}")
endif()
execute_process(COMMAND ${MSIINFO} suminfo ${MSI} OUTPUT_VARIABLE summary)
if(NOT summary MATCHES "\nTemplate: x64;1033\n")
  message(FATAL_ERROR "not a 64-bit package:\n${summary}")
endif()

# Windows Installer compares three fields of a version: every version below 1.0.1 is
# replaced (the minimum inclusive, 256), and 1.0.1 or later is only found (2 | 256) so that
# this one is refused under it. Both properties are passed to the install's server side.
expect_row(Upgrade "${upgrade_code}\t0.0.0\t1.0.1\t\t256\t\tOLDERVERSIONFOUND")
expect_row(Upgrade "${upgrade_code}\t1.0.1\t\t\t258\t\tNEWERVERSIONFOUND")
expect_row(Property "SecureCustomProperties\tOLDERVERSIONFOUND,NEWERVERSIONFOUND")
expect_row(LaunchCondition "NOT NEWERVERSIONFOUND\tA newer version of [ProductName] is already installed.")
read_table(InstallExecuteSequence sequence)
foreach(action FindRelatedProducts LaunchConditions RemoveExistingProducts)
  if(NOT sequence MATCHES "(^|;)${action}\t")
    message(FATAL_ERROR "the install does not run ${action}")
  endif()
endforeach()

# Program Files\Vandry\Customer Display Test, and the Start-menu entries of the panel and
# of the virtual display.
expect_row(Directory "VendorFolder\tProgramFiles64Folder\tVandry")
expect_row(Directory "INSTALLDIR\tVendorFolder\tCustomer Display Test")
read_table(Shortcut shortcuts)
read_table(File files)
foreach(entry "Vandry Customer Display Test=display-test.exe" "Vandry Virtual Customer Display=display-sim.exe")
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 program)
  set(found FALSE)
  foreach(shortcut IN LISTS shortcuts)
    if(shortcut MATCHES "^[^\t]*\tProgramMenuFolder\t${name}\t[^\t]*\t\\[#([^]]+)\\]\t")
      set(target ${CMAKE_MATCH_1})
      if(files MATCHES "(^|;)${target}\t[^\t]*\t${program}\t")
        set(found TRUE)
      endif()
    endif()
  endforeach()
  if(NOT found)
    message(FATAL_ERROR "no Start-menu entry '${name}' for ${program}:\n${shortcuts}")
  endif()
endforeach()

# Every file the install step puts in place, once.
set(packed)
foreach(file IN LISTS files)
  string(REGEX REPLACE "^[^\t]*\t[^\t]*\t([^\t]*)\t.*" "\\1" name "${file}")
  list(APPEND packed "${name}")
endforeach()
file(GLOB_RECURSE staged RELATIVE ${STAGE} ${STAGE}/*)
list(TRANSFORM staged REPLACE "^.*/" "")
list(SORT packed)
list(SORT staged)
if(NOT packed STREQUAL staged)
  message(FATAL_ERROR "the installer holds\n  ${packed}\nand the install puts in place\n  ${staged}")
endif()
foreach(name display-test.exe display-send.exe display-sim.exe README.md LICENSE.txt CLI11.txt
             vandry-display-test-${version}-source.zip)
  if(NOT name IN_LIST packed)
    message(FATAL_ERROR "${name} is missing from the installer")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
message(STATUS "${MSI}: ${version}, upgrade code ${upgrade_code}, ${packed}")
