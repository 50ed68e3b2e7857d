# The bundle through the LV2 tools that users and packagers run (cmake -P):
#   sord_validate checks the Turtle against the LV2 schemas (the standard's bundles of
#   Debian's lv2-dev in SPECS, which also define the vocabularies the bundle uses);
#   lv2ls finds the plug-in on an LV2_PATH that holds the bundle only;
#   lv2info lists it with its latency port, every port's symbol and the enumerations' choices;
#   sordi reads the Calibration as a writable property holding a path.
# -DBUNDLE=build/SonquadLV2.lv2 -DSPECS=/usr/lib/lv2 -DWORK=scratch folder
set(schema_bundles atom buf-size core data-access dynmanifest event instance-access log midi morph
    options parameters patch port-groups port-props presets resize-port schemas state time ui
    units uri-map urid worker)
set(schemas)
foreach(name ${schema_bundles})
  file(GLOB ttl ${SPECS}/${name}.lv2/*.ttl)
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
if(NOT status EQUAL 0 OR NOT info MATCHES "Has latency: +yes, reported by port 40")
  message(FATAL_ERROR "lv2info:\n${info}${errors}")
endif()
string(REGEX MATCHALL "Symbol: +[a-z0-9_]+" symbols "${info}")
list(LENGTH symbols count)
if(NOT count EQUAL 43)
  message(FATAL_ERROR "lv2info lists ${count} ports, 43 expected:\n${info}")
endif()
foreach(choice "0.0 = \"FuMa\"" "1.0 = \"AmbiX\"" "0.0 = \"Upright\"" "1.0 = \"Inverted\"" "2.0 = \"End-fire\"")
  if(NOT info MATCHES "${choice}")
    message(FATAL_ERROR "lv2info does not show ${choice}:\n${info}")
  endif()
endforeach()
execute_process(COMMAND sordi ${BUNDLE}/SonquadLV2.ttl OUTPUT_VARIABLE triples ERROR_VARIABLE errors)
if(NOT triples MATCHES "<urn:morlane:sonquad:lv2> <http://lv2plug.in/ns/ext/patch#writable> <urn:morlane:sonquad:lv2#calibration>"
   OR NOT triples MATCHES "calibration> <http://www.w3.org/2000/01/rdf-schema#range> <http://lv2plug.in/ns/ext/atom#Path>")
  message(FATAL_ERROR "sordi finds no writable Calibration path:\n${triples}${errors}")
endif()
