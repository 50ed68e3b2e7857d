# The bundle through the LV2 tools that users and packagers run (cmake -P):
#   sord_validate checks the Turtle against the LV2 schemas (the specification bundles of
#   Debian's lv2-dev in SPECS, which also define the vocabularies the bundle uses);
#   lv2ls finds the plug-in on an LV2_PATH that holds the bundle only;
#   lv2info lists it with its latency port and every port's symbol.
# -DBUNDLE=build/SonquadLV2.lv2 -DSPECS=/usr/lib/lv2 -DWORK=scratch folder
set(spec_bundles atom buf-size core data-access dynmanifest event instance-access log midi morph
    options parameters patch port-groups port-props presets resize-port schemas state time ui
    units uri-map urid worker)
set(schemas)
foreach(spec ${spec_bundles})
  file(GLOB ttl ${SPECS}/${spec}.lv2/*.ttl)
  list(APPEND schemas ${ttl})
endforeach()
file(GLOB bundle_ttl ${BUNDLE}/*.ttl)
execute_process(COMMAND sord_validate ${schemas} ${bundle_ttl}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out MATCHES "Found 0 errors")
  message(FATAL_ERROR "sord_validate:\n${out}")
endif()

# An LV2 folder with this bundle alone, as ~/.lv2 holds it after installation.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(CREATE_LINK ${BUNDLE} ${WORK}/SonquadLV2.lv2 SYMBOLIC)
set(ENV{LV2_PATH} ${WORK})
execute_process(COMMAND lv2ls RESULT_VARIABLE status OUTPUT_VARIABLE listed ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT listed STREQUAL "urn:morlane:sonquad:lv2\n")
  message(FATAL_ERROR "lv2ls listed:\n${listed}${errors}")
endif()
execute_process(COMMAND lv2info urn:morlane:sonquad:lv2 RESULT_VARIABLE status OUTPUT_VARIABLE info ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT info MATCHES "Has latency: +yes, reported by port 38")
  message(FATAL_ERROR "lv2info:\n${info}${errors}")
endif()
string(REGEX MATCHALL "Symbol: +[a-z0-9_]+" symbols "${info}")
list(LENGTH symbols count)
if(NOT count EQUAL 41)
  message(FATAL_ERROR "lv2info lists ${count} ports, 41 expected:\n${info}")
endif()
