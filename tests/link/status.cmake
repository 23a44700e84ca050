kfc_add_test(test_counterstatus SOURCES test_counterstatus.cpp LIBS kfc_link kfc_sim)
